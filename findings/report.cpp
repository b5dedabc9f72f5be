#include "report.h"

#include <cstdio>

namespace check {

namespace {

const char* levelName(Level level) {
    switch (level) {
    case Level::Ok:
        return "ok";
    case Level::Warn:
        return "warn";
    case Level::Fail:
        return "FAIL";
    }
    return "?";
}

} // namespace

findings::JsonLine& Report::add(Level level, const char* check, const std::string& text,
                                const std::string& advice) {
    failed_ = failed_ || level == Level::Fail;
    char prefix[8];
    (void)std::snprintf(prefix, sizeof prefix, "%-5s ", levelName(level));
    std::string line = prefix + std::string(check) + ": " + text;
    if (!advice.empty()) {
        line += ". " + advice;
    }
    findings::JsonLine json("finding");
    json.add("check", check).add("level", levelName(level)).add("text", text);
    if (!advice.empty()) {
        json.add("advice", advice);
    }
    findings_.push_back({level, line, text, advice, json});
    return findings_.back().json;
}

std::string Report::failures() const {
    std::string lines;
    for (const Finding& finding : findings_) {
        if (finding.level == Level::Fail) {
            lines += finding.text + (finding.advice.empty() ? "" : ". " + finding.advice) + "\n";
        }
    }
    return lines;
}

int Report::print(bool json, const char* verdictOk, const char* verdictFailed) const {
    const int status = failed_ ? 1 : 0;
    const char* verdict = failed_ ? verdictFailed : verdictOk;
    for (const Finding& finding : findings_) {
        (void)std::puts((json ? finding.json.finish() : finding.line).c_str());
    }
    if (json) {
        (void)std::puts(findings::JsonLine("verdict")
                            .add("text", verdict)
                            .add("exit", static_cast<long long>(status))
                            .finish()
                            .c_str());
    } else {
        (void)std::printf("%s\n", verdict);
    }
    return status;
}

} // namespace check
