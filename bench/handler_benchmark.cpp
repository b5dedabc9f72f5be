// Prints what the connection handler adds to a launch: pairs of launches
// with the same parameters, the launcher started directly with them in its
// environment and the handler started with them in a link, in alternating
// order, both against the stand-in client. Start to exit, under Wine.
//   handler_benchmark [PAIRS]
#include "base64url.h"
#include "bench_common.h"
#include "launch_driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace e2e;

namespace {

double seconds(const Launch& launch) {
    return static_cast<double>(launch.endUs - launch.startUs) / 1e6;
}

} // namespace

// A transcript that does not parse ends the benchmark through std::terminate.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
    const int pairs = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 15;
    setClientValue(standinCommand("") + std::string(1, '\0'), REG_SZ);
    const Variables& variables = bench::kParameters;
    const std::string link =
        " corvane-console:" +
        wire::base64url(R"({"version": 1, "host": "vm7.example", "port": 5900, "securePort": 5901,)"
                        R"( "password": "secret", "title": "Console", "caFile": "C:\\ca.pem",)"
                        R"( "hostSubject": "CN=vm7"})");

    std::vector<double> direct;
    std::vector<double> handled;
    std::vector<double> added;
    for (int pair = 0; pair < pairs; ++pair) {
        const bool handlerFirst = pair % 2 == 1;
        const Launch first =
            handlerFirst ? launch({}, link, "", handlerUnderTest()) : launch(variables);
        const Launch second =
            handlerFirst ? launch(variables) : launch({}, link, "", handlerUnderTest());
        const Launch& viaLauncher = handlerFirst ? second : first;
        const Launch& viaHandler = handlerFirst ? first : second;
        if (viaLauncher.exitCode != 0 || viaHandler.exitCode != 0 ||
            viaLauncher.messages() != viaHandler.messages()) {
            std::printf("pair %d failed: exit %lu and %lu, or the client got different messages\n",
                        pair, viaLauncher.exitCode, viaHandler.exitCode);
            return 1;
        }
        direct.push_back(seconds(viaLauncher));
        handled.push_back(seconds(viaHandler));
        added.push_back(handled.back() - direct.back());
    }
    deleteClientKey();

    std::printf("medians over %d pairs, start to exit (s):\n", pairs);
    std::printf("  %-56s %7.3f\n", "corvane-r.exe started directly", bench::median(direct));
    std::printf("  %-56s %7.3f\n", "corvane-r-open.exe with the same parameters as a link",
                bench::median(handled));
    std::printf("  %-56s %7.3f\n", "added by the handler (median of the pairs' differences)",
                bench::median(added));
    return 0;
}
