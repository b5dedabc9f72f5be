#include "policy_checks.h"

#include "host_match.h"

#include <algorithm>
#include <string>

namespace check {

namespace {

const char* whereSet(policy::Source source) {
    return source == policy::Source::Machine ? "per machine (HKLM)" : "per user (HKCU)";
}

const char* sourceName(policy::Source source) {
    return source == policy::Source::Machine ? "machine" : "user";
}

findings::JsonLine& failValue(Report& report, const char* name, std::size_t index,
                              const std::string& text, const std::string& advice) {
    return report
        .add(Level::Fail, kPolicyCheck,
             std::string(name) + " value " + std::to_string(index) + text, advice)
        .add("policy", name)
        .add("value", static_cast<long long>(index));
}

// A list's own findings: where it is set and how many entries it has;
// each value that is no text; each entry `usable` refuses; and a list
// with nothing usable, which `empty` says the effect of.
struct ListRules {
    const char* name;
    const char* what;  // one entry's noun
    const char* after; // what follows the count
    bool (*usable)(const std::string& entry);
    const char* notUsable; // why an entry is not
    const char* advice;
    const char* empty;
};

bool isThumbprint(const std::string& entry) {
    std::string hex;
    return policy::normalThumbprint(entry, hex);
}

const ListRules kPublishers = {
    "TrustedPublishers",
    "thumbprint",
    "",
    isThumbprint,
    "is not a SHA-256 thumbprint (64 hex digits): no file signed by that publisher opens without "
    "a question",
    "copy the signing certificate's SHA-256 thumbprint into it",
    "no publisher is trusted, and the user's own list cannot add one"};
const ListRules kHosts = {
    "AllowedHosts",
    "host",
    "; files for any other host are refused",
    policy::isHostPattern,
    "is not a host name, an IP address or *. and a domain: it allows nothing",
    "write a host such as vm7.example.org, or *.example.org for every host below it",
    "every connection file is refused"};

void checkList(Report& report, const policy::List& list, const ListRules& rules) {
    if (list.unreadable != 0) {
        report
            .add(Level::Fail, kPolicyCheck,
                 std::string(rules.name) + " is set " + whereSet(list.source) +
                     " but its key cannot be read (error " + std::to_string(list.unreadable) +
                     "): " + rules.empty,
                 "give users read access to the key, as Group Policy does, or delete it")
            .add("policy", rules.name);
        return;
    }
    const std::size_t count = list.entries.size() + list.unusable.size();
    report
        .add(Level::Ok, kPolicyCheck,
             std::string(rules.name) + " is set " + whereSet(list.source) + ": " +
                 std::to_string(count) + " " + rules.what + (count == 1 ? "" : "s") + rules.after)
        .add("policy", rules.name)
        .add("source", sourceName(list.source))
        .add("entries", static_cast<long long>(count));
    // Values "1", "2", ...: the entries in order, but for the unusable.
    std::size_t usable = 0;
    std::size_t next = 0;
    for (std::size_t index = 1; index <= count; ++index) {
        const bool text =
            std::find(list.unusable.begin(), list.unusable.end(), index) == list.unusable.end();
        const std::string entry = text ? list.entries[next++] : std::string();
        if (!text) {
            failValue(report, rules.name, index,
                      " is not a string of at most 1023 characters: the handler cannot use it",
                      "write it as a REG_SZ value");
        } else if (rules.usable(entry)) {
            ++usable;
        } else {
            failValue(report, rules.name, index, ", \"" + entry + "\", " + rules.notUsable,
                      rules.advice);
        }
    }
    if (usable == 0) {
        report
            .add(Level::Fail, kPolicyCheck,
                 std::string(rules.name) + " is set " + whereSet(list.source) +
                     " but holds no usable " + rules.what + ": " + rules.empty,
                 std::string("add one, or delete the ") + rules.name + " key")
            .add("policy", rules.name);
    }
}

} // namespace

void checkPolicy(Report& report, const policy::Policy& policy) {
    using policy::Source;
    const bool none = policy.trustedPublishers.source == Source::None &&
                      policy.allowedHosts.source == Source::None &&
                      policy.unverifiedSource == Source::None;
    if (none) {
        report.add(Level::Warn, kPolicyCheck,
                   "no connection-file policy is set: the handler asks the user before every "
                   "file opens",
                   "set TrustedPublishers or AllowedHosts (corvane.admx) so that the portal's "
                   "consoles open in one click");
        return;
    }
    if (policy.trustedPublishers.source != Source::None) {
        checkList(report, policy.trustedPublishers, kPublishers);
    }
    if (policy.allowedHosts.source != Source::None) {
        checkList(report, policy.allowedHosts, kHosts);
    }
    if (policy.unverifiedSource != Source::None) {
        const unsigned long value = policy.unverifiedFiles;
        const char* const kMeaning[] = {"refused", "asked about", "opened"};
        const bool valid = value <= policy::kOpen;
        report
            .add(valid ? Level::Ok : Level::Fail, kPolicyCheck,
                 "UnverifiedFiles is " + policy.unverifiedWritten + ", set " +
                     whereSet(policy.unverifiedSource) + ": " +
                     (valid ? std::string("files nobody vouches for are ") + kMeaning[value]
                            : std::string("not 0, 1 or 2; the handler asks the user")),
                 valid ? "" : "set it to the DWORD 0 (refuse), 1 (ask) or 2 (open)")
            .add("policy", "UnverifiedFiles")
            .add("source", sourceName(policy.unverifiedSource))
            .add("value", static_cast<long long>(value));
    }
}

} // namespace check
