// Starts corvane-r.exe the way a portal does, as a Windows parent with its
// own environment block and working directory, and reads back the exit
// status as that parent sees it, anything the launcher printed, and the
// stand-in client's JSON transcript.
#pragma once

#include "windows_probe.h"

#include <nlohmann/json.hpp>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Json = nlohmann::json;
using Variables = std::vector<std::pair<std::string, std::string>>;

struct Launch {
    DWORD exitCode = 0;
    DWORD pid = 0;
    long long startUs = 0, endUs = 0; // around the run, on probe::clockMicroseconds
    std::string output;               // all it wrote to stdout and stderr
    // A handle it inherited from us, still open somewhere after it ended:
    // the client holds it if the launcher passed its handles on.
    bool handleOutlivedLauncher = false;
    std::vector<Json> transcript; // none if no client ran

    std::vector<Json> all(const char* event) const;
    Json first(const char* event) const; // an empty object if there is none
    // Each message's bytes in order; a malformed one reads "invalid: why".
    std::vector<std::string> messages() const;
    // As the client got it, or "<unset>"; `wide`: as it read it in UTF-16, in UTF-8.
    std::string environment(const char* name, bool wide = false) const;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
std::string fromHex(const std::string& hex);
std::string tempFolder(); // with its trailing backslash

// This build's executables, unless the environment names others (another
// compiler's build of the same sources); unchecked: the launcher built with
// CORVANE_CHECK_PIPE_SERVER off.
std::string launcherUnderTest(bool checked = true);
std::string checkToolUnderTest();
std::string handlerUnderTest();
std::string standinCommand(const std::string& options); // writes our transcript

// Stored as given, in the 32-bit registry view where a 32-bit client's
// installer writes and the launcher reads (view 0, whichever build this
// is), or with KEY_WOW64_64KEY in the 64-bit one.
void setClientValue(const std::string& data, DWORD type, REGSAM view = 0);
void deleteClientKey(); // from both views
// The handler's policy as Group Policy writes it, in the 64-bit view:
// {"machine": {...}, "user": {...}}, a list as values "1", "2", ... of its
// subkey (each a REG_SZ, or a DWORD for a number), a number as a DWORD, a string as a REG_SZ, true
// or false as a one-byte REG_BINARY; "Unreadable": the keys named (a list's,
// or "" for the policy's own) readable by nobody. An empty object removes
// every policy.
void writePolicy(const Json& policy);
// True in the 32-bit prefix's run, which leaves the cases that need two
// registry views to the 64-bit one; anywhere else they run, and fail on a
// system with one view.
bool oneRegistryView();
// The user's book of used tickets, and the same emptied: earlier runs' gone.
std::string ticketBook();
void clearTicketBook();

// An event as Wine traces it (WINEDEBUG -all,+eventlog,fixme+advapi): its
// type, its ID with the severity's bits, whether it names a user.
struct LoggedEvent {
    unsigned type = 0, id = 0;
    bool user = false;
    std::vector<std::string> strings; // UTF-8
};
// In the Unix output all programs here share, which wine-run.sh writes to
// the file CORVANE_EVENT_TRACE names; a mark is where a run began in it.
std::size_t traceMark();
std::vector<LoggedEvent> eventsSince(std::size_t mark);

// `whileSuspended` runs once the launcher's process exists, before it runs.
Launch launch(const Variables& variables = {}, const std::string& arguments = "",
              const std::string& directory = "", const std::string& launcher = launcherUnderTest(),
              const std::function<void(DWORD pid)>& whileSuspended = {});
std::vector<Json> readTranscript();       // as it stands now
void clearTranscript();                   // before a client is started some other way
std::string pipePathOf(DWORD launcherId); // the controller pipe that launcher advertises
bool stopIfRunning(DWORD pid);            // true if it still ran; it is then stopped

} // namespace e2e
