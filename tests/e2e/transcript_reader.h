// Reads the stand-in client's JSON-lines transcript back: one flat object
// per line, strings unescaped to the exact bytes the stand-in saw.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct TranscriptEvent {
    std::map<std::string, std::string> fields;

    std::string text(const std::string& key) const;
    long long number(const std::string& key) const;
    bool has(const std::string& key) const { return fields.count(key) != 0; }
};

struct Transcript {
    std::vector<TranscriptEvent> events;
    std::string problem; // empty when every line parsed

    std::vector<TranscriptEvent> all(const std::string& event) const;
    // The first event of that name; an empty event when there is none.
    TranscriptEvent first(const std::string& event) const;
    // The value of a variable the client received, or "<unset>".
    std::string environment(const std::string& name) const;
    // Each message's bytes in hex, in order; a message the stand-in found
    // malformed reads "invalid: " and the reason, so it never matches.
    std::vector<std::string> messageBytes() const;
};

Transcript readTranscript(const std::string& path);
Transcript parseTranscript(const std::string& text);

} // namespace testing_support
