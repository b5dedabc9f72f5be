#include "transcript_reader.h"

#include "windows_support.h"

#include <cstdlib>

namespace testing_support {

std::string TranscriptEvent::text(const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

long long TranscriptEvent::number(const std::string& key) const {
    return std::strtoll(text(key).c_str(), nullptr, 10);
}

std::vector<TranscriptEvent> Transcript::all(const std::string& event) const {
    std::vector<TranscriptEvent> matching;
    for (const TranscriptEvent& candidate : events) {
        if (candidate.text("event") == event) {
            matching.push_back(candidate);
        }
    }
    return matching;
}

TranscriptEvent Transcript::first(const std::string& event) const {
    const std::vector<TranscriptEvent> matching = all(event);
    return matching.empty() ? TranscriptEvent() : matching.front();
}

std::string Transcript::environment(const std::string& name) const {
    for (const TranscriptEvent& variable : all("env")) {
        if (variable.text("name") == name) {
            return variable.text("value");
        }
    }
    return "<unset>";
}

std::vector<std::string> Transcript::messageBytes() const {
    std::vector<std::string> bytes;
    for (const TranscriptEvent& message : all("message")) {
        bytes.push_back(message.text("valid") == "true" ? message.text("bytes")
                                                        : "invalid: " + message.text("error"));
    }
    return bytes;
}

namespace {

// Parses a JSON string starting at the opening quote; \u00XX gives one byte.
bool parseString(const std::string& line, std::size_t& at, std::string& out) {
    if (line[at] != '"') {
        return false;
    }
    for (++at; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= line.size()) {
            return false;
        }
        if (line[at] == 'u' && at + 4 < line.size()) {
            out += static_cast<char>(std::strtol(line.substr(at + 1, 4).c_str(), nullptr, 16));
            at += 4;
        } else {
            out += line[at];
        }
    }
    return false;
}

bool parseLine(const std::string& line, TranscriptEvent& event) {
    std::size_t at = 0;
    if (line.empty() || line[at++] != '{') {
        return false;
    }
    while (at < line.size() && line[at] != '}') {
        std::string key;
        if (!parseString(line, at, key) || at >= line.size() || line[at++] != ':') {
            return false;
        }
        std::string value;
        if (line[at] == '"') {
            if (!parseString(line, at, value)) {
                return false;
            }
        } else {
            const std::size_t end = line.find_first_of(",}", at);
            if (end == std::string::npos) {
                return false;
            }
            value = line.substr(at, end - at);
            at = end;
        }
        event.fields[key] = value;
        if (at < line.size() && line[at] == ',') {
            ++at;
        }
    }
    return at < line.size();
}

} // namespace

Transcript parseTranscript(const std::string& text) {
    Transcript transcript;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        TranscriptEvent event;
        if (parseLine(line, event)) {
            transcript.events.push_back(event);
        } else if (!line.empty()) {
            transcript.problem = "unreadable transcript line: " + line;
        }
        start = end + 1;
    }
    return transcript;
}

Transcript readTranscript(const std::string& path) {
    return parseTranscript(readWholeFile(path));
}

} // namespace testing_support
