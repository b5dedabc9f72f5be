// What a launch would find: one line each for a person, `ok`, `warn` or
// `FAIL` with what to do about a failure, or one JSON line each for scripts
// and inventory tools; then the verdict. The connection handler shows a user
// the failures alone.
#pragma once

#include "json_line.h"

#include <string>
#include <vector>

namespace check {

enum class Level { Ok, Warn, Fail };

class Report {
public:
    // The finding's JSON line, for the details a script may want.
    findings::JsonLine& add(Level level, const char* check, const std::string& text,
                            const std::string& advice = "");
    // Whether a launch would fail: the policy's failures are not the
    // launch's, as a misconfigured policy still lets a launch run.
    bool failed() const { return failed_; }
    bool policyFailed() const { return policyFailed_; }
    // The failures alone, one line each, what went wrong and what to do.
    std::string failures() const;
    // Prints every finding and the verdict; returns the exit status, 0 when
    // nothing failed, 1 when a launch would fail, 3 when only the policy is
    // wrong (2 is the command line's).
    int print(bool json, const char* verdictOk, const char* verdictFailed) const;

private:
    struct Finding {
        Level level;
        const char* check;
        std::string text, advice;
        findings::JsonLine json;
    };
    // What went wrong and, where there is a remedy, what to do.
    static std::string sentence(const Finding& finding);
    std::vector<Finding> findings_;
    bool failed_ = false;
    bool policyFailed_ = false;
};

// The check whose failures are the policy's.
constexpr char kPolicyCheck[] = "policy";

} // namespace check
