#include "report.h"

#include <cstdio>
#include <cstring>

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
    const bool policy = std::strcmp(check, kPolicyCheck) == 0;
    failed_ = failed_ || (level == Level::Fail && !policy);
    policyFailed_ = policyFailed_ || (level == Level::Fail && policy);
    findings::JsonLine json("finding");
    json.add("check", check).add("level", levelName(level)).add("text", text);
    if (!advice.empty()) {
        json.add("advice", advice);
    }
    findings_.push_back({level, check, text, advice, json});
    return findings_.back().json;
}

std::string Report::sentence(const Finding& finding) {
    return finding.text + (finding.advice.empty() ? "" : ". " + finding.advice);
}

std::string Report::failures() const {
    std::string lines;
    for (const Finding& finding : findings_) {
        if (finding.level == Level::Fail) {
            lines += sentence(finding) + "\n";
        }
    }
    return lines;
}

int Report::print(bool json, const char* verdictOk, const char* verdictFailed) const {
    const int status = failed_ ? 1 : policyFailed_ ? 3 : 0;
    const std::string verdict =
        failed_         ? verdictFailed
        : policyFailed_ ? std::string(verdictOk) +
                              ", but the connection-file policy is misconfigured (its FAIL lines)"
                        : verdictOk;
    for (const Finding& finding : findings_) {
        if (!json) {
            (void)std::printf("%-5s %s: %s\n", levelName(finding.level), finding.check,
                              sentence(finding).c_str());
        } else {
            (void)std::puts(finding.json.finish().c_str());
        }
    }
    if (json) {
        (void)std::puts(findings::JsonLine("verdict")
                            .add("text", verdict)
                            .add("policyMisconfigured", policyFailed_)
                            .add("exit", static_cast<long long>(status))
                            .finish()
                            .c_str());
    } else {
        (void)std::printf("%s\n", verdict.c_str());
    }
    return status;
}

} // namespace check
