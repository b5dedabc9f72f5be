#include "policy_checks.h"

#include <string>

namespace check {

namespace {

const char* whereSet(policy::Source source) {
    return source == policy::Source::Machine ? "per machine (HKLM)" : "per user (HKCU)";
}

const char* sourceName(policy::Source source) {
    return source == policy::Source::Machine ? "machine" : "user";
}

// `what`: one entry's noun; `after`: what follows the count.
void checkList(Report& report, const char* name, const policy::List& list, const char* what,
               const char* after = "") {
    const std::size_t count = list.entries.size();
    report
        .add(Level::Ok, "policy",
             std::string(name) + " is set " + whereSet(list.source) + ": " + std::to_string(count) +
                 " " + what + (count == 1 ? "" : "s") + after)
        .add("policy", name)
        .add("source", sourceName(list.source))
        .add("entries", static_cast<long long>(count));
}

} // namespace

void checkPolicy(Report& report, const policy::Policy& policy) {
    using policy::Source;
    const bool none = policy.trustedPublishers.source == Source::None &&
                      policy.allowedHosts.source == Source::None &&
                      policy.unverifiedSource == Source::None;
    if (none) {
        report.add(Level::Warn, "policy",
                   "no connection-file policy is set: the handler asks the user before every "
                   "file opens",
                   "set TrustedPublishers or AllowedHosts (corvane.admx) so that the portal's "
                   "consoles open in one click");
        return;
    }
    if (policy.trustedPublishers.source != Source::None) {
        checkList(report, "TrustedPublishers", policy.trustedPublishers, "thumbprint");
        std::size_t index = 0;
        for (const std::string& entry : policy.trustedPublishers.entries) {
            std::string hex;
            ++index;
            if (!policy::normalThumbprint(entry, hex)) {
                report
                    .add(Level::Fail, "policy",
                         "TrustedPublishers value " + std::to_string(index) + ", \"" + entry +
                             "\", is not a SHA-256 thumbprint (64 hex digits): no file signed "
                             "by that publisher opens without a question",
                         "copy the signing certificate's SHA-256 thumbprint into it")
                    .add("policy", "TrustedPublishers")
                    .add("value", static_cast<long long>(index));
            }
        }
    }
    if (policy.allowedHosts.source != Source::None) {
        checkList(report, "AllowedHosts", policy.allowedHosts, "host",
                  "; files for any other host are refused");
    }
    if (policy.unverifiedSource != Source::None) {
        const unsigned long value = policy.unverifiedFiles;
        const char* const kMeaning[] = {"refused", "asked about", "opened"};
        const bool valid = value <= policy::kOpen;
        report
            .add(valid ? Level::Ok : Level::Fail, "policy",
                 "UnverifiedFiles is " + std::to_string(value) + ", set " +
                     whereSet(policy.unverifiedSource) + ": " +
                     (valid ? std::string("files nobody vouches for are ") + kMeaning[value]
                            : std::string("not 0, 1 or 2; the handler asks the user")),
                 valid ? "" : "set it to 0 (refuse), 1 (ask) or 2 (open)")
            .add("policy", "UnverifiedFiles")
            .add("source", sourceName(policy.unverifiedSource))
            .add("value", static_cast<long long>(value));
    }
}

} // namespace check
