// Prints what the connection handler adds to a launch: pairs of launches
// with the same parameters, the launcher started directly with them in its
// environment and the handler started with them in a link, in alternating
// order, both against the stand-in client, and the same link as a ticket
// (a "jti" of its own each time), which the handler records in the user's
// book before it starts the launcher. Start to exit, under Wine. Then
// what checking a signature adds: the same connection file as a plain link
// for an allowed host, and signed (RS256 and ES256) by a trusted publisher,
// from the table tests/handler/make_signed_files.py makes. Last, what
// writing its event costs the handler, its own code timed in-process.
//   handler_benchmark [PAIRS [SIGNED_TABLE]]
#include "base64url.h"
#include "bench_common.h"
#include "decision_log.h"
#include "launch_driver.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

double seconds(const Launch& launch) {
    return static_cast<double>(launch.endUs - launch.startUs) / 1e6;
}

// The signed rows' links, the same connection file each: plain, RS256 (from
// the signed file, in the compact form), ES256.
struct SignedLinks {
    std::string plain, rs256, es256;
    std::vector<std::string> trusted; // the thumbprints that trust both
};

SignedLinks signedLinks(const char* table) {
    SignedLinks links;
    std::istringstream lines(readFile(table));
    for (std::string line; std::getline(lines, line);) {
        const Json row = Json::parse(line);
        const std::string text = row["text"];
        if (row["name"] == "TrustedEs256Link") {
            links.es256 = " " + text;
            const std::size_t dot = text.find('.');
            links.plain = " corvane-console:" + text.substr(dot + 1, text.rfind('.') - dot - 1);
        } else if (row["name"] == "TrustedRs256File") {
            const Json file = Json::parse(text);
            links.rs256 = " corvane-console:" + file["protected"].get<std::string>() + "." +
                          file["payload"].get<std::string>() + "." +
                          file["signature"].get<std::string>();
            links.trusted =
                row["policy"]["machine"]["TrustedPublishers"].get<std::vector<std::string>>();
        }
    }
    return links;
}

void benchmarkSignatures(int pairs, const char* table) {
    const SignedLinks links = signedLinks(table);
    if (links.plain.empty() || links.rs256.empty()) {
        std::printf("no signed files in %s: run tests/handler/make_signed_files.py\n", table);
        return;
    }
    writePolicy(
        {{"user", {{"AllowedHosts", {"vm7.example.org"}}, {"TrustedPublishers", links.trusted}}}});
    std::vector<double> plain;
    std::vector<double> rs256;
    std::vector<double> es256;
    std::vector<double> addedRs;
    std::vector<double> addedEs;
    for (int pair = 0; pair < pairs; ++pair) {
        // One ticket each, opened again and again: the book forgets it first.
        clearTicketBook();
        const Launch a = launch({}, links.plain, "", handlerUnderTest());
        clearTicketBook();
        const Launch b = launch({}, links.rs256, "", handlerUnderTest());
        clearTicketBook();
        const Launch c = launch({}, links.es256, "", handlerUnderTest());
        if (a.exitCode != 0 || b.exitCode != 0 || c.exitCode != 0) {
            std::printf("pair %d failed: exit %lu, %lu, %lu\n", pair, a.exitCode, b.exitCode,
                        c.exitCode);
            break;
        }
        plain.push_back(seconds(a));
        rs256.push_back(seconds(b));
        es256.push_back(seconds(c));
        addedRs.push_back(rs256.back() - plain.back());
        addedEs.push_back(es256.back() - plain.back());
    }
    writePolicy(Json::object());
    std::printf("medians over %zu runs each, start to exit (s):\n", plain.size());
    std::printf("  %-56s %7.3f\n", "corvane-r-open.exe, unsigned link for an allowed host",
                bench::median(plain));
    std::printf("  %-56s %7.3f\n", "the same signed RS256, trusted publisher",
                bench::median(rs256));
    std::printf("  %-56s %7.3f\n", "the same signed ES256, trusted publisher",
                bench::median(es256));
    std::printf("  %-56s %7.3f\n", "added by checking RS256 (median of the differences)",
                bench::median(addedRs));
    std::printf("  %-56s %7.3f\n", "added by checking ES256 (median of the differences)",
                bench::median(addedEs));
}

// The handler's own logging, as it writes an opened file's event: the
// user's SID, the strings, the source opened and closed. Under Wine
// ReportEventW records nothing, so this is the handler's part; on Windows
// the event log service's own adds to it.
void benchmarkEvents(int rounds) {
    handler::Connection connection;
    connection.host = "vm7.example";
    connection.port = 5900;
    connection.ticketId = "bench";
    const handler::Reading reading;
    const handler::Facts facts{L"link", connection, reading};
    const long long start = probe::clockMicroseconds();
    for (int i = 0; i < rounds; ++i) {
        handler::logOpened(facts, handler::Grounds::AllowedHost);
    }
    std::printf("  %-56s %7.1f\n", "writing one event, in-process (microseconds)",
                static_cast<double>(probe::clockMicroseconds() - start) / rounds);
}

} // namespace

// A transcript that does not parse ends the benchmark through std::terminate.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
    const int pairs = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 15;
    setClientValue(standinCommand("") + std::string(1, '\0'), REG_SZ);
    // The administrator allows the host and, as the file names its own
    // host subject, files nobody vouches for: nothing is asked.
    writePolicy({{"user", {{"AllowedHosts", {"vm7.example"}}, {"UnverifiedFiles", 2}}}});
    const Variables& variables = bench::kParameters;
    const std::string link =
        " corvane-console:" +
        wire::base64url(R"({"version": 1, "host": "vm7.example", "port": 5900, "securePort": 5901,)"
                        R"( "password": "secret", "title": "Console", "caFile": "C:\\ca.pem",)"
                        R"( "hostSubject": "CN=vm7"})");

    std::vector<double> direct;
    std::vector<double> handled;
    std::vector<double> added;
    std::vector<double> ticketed;
    std::vector<double> recording;
    const std::string own = std::to_string(GetCurrentProcessId());
    for (int pair = 0; pair < pairs; ++pair) {
        const std::string ticket =
            " corvane-console:" +
            wire::base64url(R"({"version": 1, "host": "vm7.example", "port": 5900, "securePort": )"
                            R"(5901, "password": "secret", "title": "Console", "caFile": )"
                            R"("C:\\ca.pem", "hostSubject": "CN=vm7", "jti": "bench-)" +
                            own + "-" + std::to_string(pair) + "\"}");
        const Launch viaTicket = launch({}, ticket, "", handlerUnderTest());
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
        if (viaTicket.exitCode != 0) {
            std::printf("pair %d: the ticket failed, exit %lu: %s\n", pair, viaTicket.exitCode,
                        viaTicket.output.c_str());
            return 1;
        }
        ticketed.push_back(seconds(viaTicket));
        recording.push_back(ticketed.back() - handled.back());
    }
    writePolicy(Json::object());

    std::printf("medians over %d pairs, start to exit (s):\n", pairs);
    std::printf("  %-56s %7.3f\n", "corvane-r.exe started directly", bench::median(direct));
    std::printf("  %-56s %7.3f\n", "corvane-r-open.exe with the same parameters as a link",
                bench::median(handled));
    std::printf("  %-56s %7.3f\n", "added by the handler (median of the pairs' differences)",
                bench::median(added));
    std::printf("  %-56s %7.3f\n", "the same link as a ticket, recorded before the start",
                bench::median(ticketed));
    std::printf("  %-56s %7.3f\n", "added by recording the ticket (median of the differences)",
                bench::median(recording));
    std::printf("\n");
    benchmarkSignatures(pairs, argc > 2 ? argv[2] : "signed_files.jsonl");
    benchmarkEvents(1000);
    deleteClientKey();
    return 0;
}
