// corvane-r-check: will a console launch work on this desktop, and if not,
// why? The launcher itself prints nothing and exits with -1; this tool looks
// where it looks, with its own code, and says what it finds.
//
//   corvane-r-check [--start [--keep-client]] [--json]
//
// Without options it starts nothing: it reads the client's command line from
// the registry and checks the program Windows would run for it. --start also
// starts the client as a launch does and waits for its controller pipe, the
// same ten attempts a second apart, and tells who serves it; it sends
// nothing on the pipe and reads no SPICE_ parameter, so it never handles a
// password. The client is ended afterwards unless --keep-client. Last, the
// connection handler's policy: what is set, where, and what is wrong in it;
// and whether its events reach Event Viewer in words.
//
// Exit status: 0 when a launch would succeed, 1 when it would not, 3 when
// it would but the handler's policy is misconfigured, 2 for a command line
// it does not understand.
#include "client_checks.h"
#include "event_source_check.h"
#include "pipe_checks.h"
#include "policy_checks.h"
#include "report.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kUsage[] = "usage: corvane-r-check [--start [--keep-client]] [--json]\n";

struct Options {
    bool start = false;
    bool keepClient = false;
    bool json = false;
    bool help = false;
    bool valid = true;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--start") == 0) {
            options.start = true;
        } else if (std::strcmp(argv[i], "--keep-client") == 0) {
            options.keepClient = true;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "/?") == 0) {
            options.help = true;
        } else {
            options.valid = false;
        }
    }
    options.valid = options.valid && (options.start || !options.keepClient);
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (!options.valid || options.help) {
        (void)std::fputs(kUsage, options.valid ? stdout : stderr);
        return options.valid ? 0 : 2;
    }
    check::Report report;
    char commandLine[launcher::kCommandLineSize + 1] = {};
    if (check::checkRegistry(report, commandLine) == 0) {
        check::checkProgram(report, commandLine);
        if (options.start && !report.failed()) {
            check::checkPipe(report, commandLine, options.keepClient);
        }
    }
    check::checkPolicy(report, policy::readPolicy());
    check::checkEventSource(report);
    if (options.start) {
        return report.print(options.json, "a launch would succeed", "a launch would fail");
    }
    return report.print(options.json,
                        "a launch would start the client (--start also checks its controller pipe)",
                        "a launch would fail");
}
