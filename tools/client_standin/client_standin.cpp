// A stand-in for the remote-display client: it plays the client's side of
// the controller contract and records what reaches it. Tests start it
// through the launcher; an admin can register it in place of the real client
// to see exactly what a launch hands over.
//
//   client-standin [--transcript FILE] [--readable FILE] [--reveal-password]
//                  [--pipe-delay-ms N] [--no-pipe] [--close-after K]
//                  [--linger-ms N] [--exit-code N] [--serve-from-child]
//
// --serve-from-child starts a second stand-in with the other options, which
// serves the pipe and writes the accounts, and exits with its exit code: a
// client whose registered program hands the pipe to a process it starts.
//
// The password is masked wherever it is written, the transcript's message
// bytes included, unless --reveal-password asks for it in clear.
#include "stream_decoder.h"
#include "transcript.h"
#include "windows_probe.h"

#include <tlhelp32.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace standin {
namespace {

struct Options {
    const char* transcript = nullptr;
    const char* readable = nullptr;
    bool revealPassword = false;
    long pipeDelayMs = 0;
    bool noPipe = false;
    bool serveFromChild = false;
    long closeAfter = -1; // messages to read before closing our end; -1: never
    long lingerMs = 0;
    int exitCode = 0;
    std::string problem;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--no-pipe") {
            options.noPipe = true;
        } else if (option == "--serve-from-child") {
            options.serveFromChild = true;
        } else if (option == "--reveal-password") {
            options.revealPassword = true;
        } else if (option == "--transcript" && hasValue) {
            options.transcript = argv[++i];
        } else if (option == "--readable" && hasValue) {
            options.readable = argv[++i];
        } else if (option == "--pipe-delay-ms" && hasValue) {
            options.pipeDelayMs = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--close-after" && hasValue) {
            options.closeAfter = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--linger-ms" && hasValue) {
            options.lingerMs = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--exit-code" && hasValue) {
            options.exitCode = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else {
            options.problem = "unknown option " + option;
        }
    }
    return options;
}

DWORD parentProcessId() {
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

std::string currentDirectory() {
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

bool isRecordedVariable(const std::string& name) {
    return name.rfind("SPICE_", 0) == 0 || name == "G_MESSAGES_DEBUG";
}

constexpr std::uint32_t kPasswordId = 4;

bool revealed = false; // --reveal-password

std::string masked(bool secret, const std::string& value) {
    return secret && !revealed ? std::string(value.size(), '*') : value;
}

void recordEnvironment(Transcript& transcript) {
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
        return;
    }
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '='); // "=C:" style names start with '='
        if (equals == nullptr) {
            continue;
        }
        const std::string name(entry, equals);
        const std::string value(equals + 1);
        if (isRecordedVariable(name)) {
            const std::string shown = masked(name == "SPICE_PASSWORD", value);
            transcript.json(JsonLine("env").add("name", name).add("value", shown));
            transcript.readable("  %s=%s", name.c_str(), shown.c_str());
        }
    }
    FreeEnvironmentStringsA(block);
}

const char* impersonationLevelName(SECURITY_IMPERSONATION_LEVEL level) {
    switch (level) {
    case SecurityAnonymous:
        return "anonymous";
    case SecurityIdentification:
        return "identification";
    case SecurityImpersonation:
        return "impersonation";
    case SecurityDelegation:
        return "delegation";
    }
    return "unknown";
}

// What a server on this pipe could do as the launcher's user: a launcher that
// opens the pipe with identification-only quality of service gives nothing
// more than identification.
std::string probeImpersonation(HANDLE pipe) {
    if (!ImpersonateNamedPipeClient(pipe)) {
        return "unavailable: ImpersonateNamedPipeClient error " + std::to_string(GetLastError());
    }
    std::string result;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
        DWORD size = 0;
        if (GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size)) {
            result = impersonationLevelName(level);
        } else {
            result = "unavailable: GetTokenInformation error " + std::to_string(GetLastError());
        }
        CloseHandle(token);
    } else {
        result = "unavailable: OpenThreadToken error " + std::to_string(GetLastError());
    }
    RevertToSelf();
    return result;
}

// Waits for an overlapped operation; false on failure or after the limit.
bool finishIo(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD limitMs, DWORD& bytes,
              DWORD& error) {
    error = started ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
        // The writer opened the pipe before we asked to wait for it: the
        // operation is complete and nothing will signal the event.
        bytes = 0;
        error = ERROR_SUCCESS;
        return true;
    }
    if (error == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            error = WAIT_TIMEOUT;
            return false;
        }
        error = ERROR_SUCCESS;
    } else if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        return false;
    }
    if (!GetOverlappedResult(pipe, &overlapped, &bytes, FALSE)) {
        error = GetLastError();
        return error == ERROR_MORE_DATA;
    }
    return true;
}

constexpr DWORD kConnectLimitMs = 30000;
constexpr DWORD kReadBufferSize = 65536;
constexpr std::uint32_t kConnectId = 16;

const char* describe(const DecodedMessage& message, std::string& scratch) {
    if (message.kind == "invalid") {
        scratch = "INVALID (" + message.error + ")";
    } else if (message.kind == "init") {
        scratch = "opening record: magic CTRL, version 1, exclusive";
    } else if (message.kind == "number") {
        scratch = message.name + " " + std::to_string(message.number);
    } else if (message.kind == "text") {
        scratch = message.name + " \"" + masked(message.id == kPasswordId, message.text) + "\"";
    } else {
        scratch = message.name;
    }
    return scratch.c_str();
}

// Reads the stream one pipe message at a time. The connect request ends the
// conversation; the launcher then keeps its end open until we exit, so we
// stop reading there, as the real client goes on to its session. The stream
// also ends when the launcher closes its end, or after `closeAfter` messages,
// when we close ours.
void serveConversation(HANDLE pipe, const Options& options, long long startUs,
                       Transcript& transcript) {
    std::vector<std::uint8_t> buffer(kReadBufferSize);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    long index = 0;
    std::string scratch;
    for (;;) {
        if (options.closeAfter >= 0 && index >= options.closeAfter) {
            transcript.json(JsonLine("closed_early").add("after", static_cast<long long>(index)));
            transcript.readable("closing our end after %ld messages", index);
            break;
        }
        ResetEvent(overlapped.hEvent);
        DWORD bytes = 0;
        DWORD error = 0;
        const BOOL started = ReadFile(pipe, buffer.data(), kReadBufferSize, nullptr, &overlapped);
        if (!finishIo(pipe, overlapped, started, INFINITE, bytes, error)) {
            const long long now = probe::clockMicroseconds();
            transcript.json(JsonLine("end_of_stream")
                                .add("clock_us", now)
                                .add("error", static_cast<long long>(error))
                                .add("messages", static_cast<long long>(index)));
            transcript.readable("%+8lld ms  end of stream after %ld messages",
                                (now - startUs) / 1000, index);
            break;
        }
        const long long now = probe::clockMicroseconds();
        const DecodedMessage message = decodeBlock(buffer.data(), bytes, index == 0);
        // Whatever shape a password message came in, its bytes are masked
        // before they are recorded; its terminator stays for the decoder's verdict.
        const bool secret = !revealed && index > 0 && bytes > 8 && buffer[0] == kPasswordId &&
                            buffer[1] == 0 && buffer[2] == 0 && buffer[3] == 0;
        if (secret) {
            std::memset(buffer.data() + 8, '*', bytes - 8 - (buffer[bytes - 1] == 0 ? 1 : 0));
        }
        JsonLine line("message");
        line.add("index", static_cast<long long>(index))
            .add("clock_us", now)
            .add("length", static_cast<long long>(bytes))
            .add("bytes", hexBytes(buffer.data(), bytes))
            .add("kind", message.kind)
            .add("name", message.name)
            .add("id", static_cast<long long>(message.id))
            .add("size", static_cast<long long>(message.size))
            .add("valid", message.error.empty() && error != ERROR_MORE_DATA);
        if (message.kind == "number") {
            line.add("number", static_cast<long long>(message.number));
        }
        if (message.kind == "text") {
            line.add("text", masked(secret, message.text));
        }
        if (error == ERROR_MORE_DATA) {
            line.add("error", "message larger than the read buffer");
        } else if (!message.error.empty()) {
            line.add("error", message.error);
        }
        transcript.json(line);
        transcript.readable("%+8lld ms  #%ld  %s", (now - startUs) / 1000, index + 1,
                            describe(message, scratch));
        if (index == 0) {
            const std::string level = probeImpersonation(pipe);
            transcript.json(JsonLine("impersonation").add("level", level));
            transcript.readable("            writer's token as seen by this pipe server: %s%s",
                                level.c_str(),
                                probe::runningUnderWine() ? " (Wine's fixed level)" : "");
        }
        ++index;
        if (message.id == kConnectId && message.error.empty()) {
            transcript.json(JsonLine("conversation_complete")
                                .add("clock_us", now)
                                .add("messages", static_cast<long long>(index)));
            break;
        }
    }
    CloseHandle(overlapped.hEvent);
}

// Our own command line without --serve-from-child, run as a child that
// inherits our environment; its exit code becomes ours.
int serveFromChild() {
    std::string commandLine = GetCommandLineA();
    const std::string option = "--serve-from-child";
    commandLine.erase(commandLine.find(option), option.size());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
        return 3;
    }
    DWORD code = 3;
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}

int run(int argc, char** argv) {
    const long long startUs = probe::clockMicroseconds();
    const Options options = parseOptions(argc, argv);
    if (options.serveFromChild) {
        return serveFromChild();
    }
    revealed = options.revealPassword;
    Transcript transcript(options.transcript, options.readable);

    const std::string cwd = currentDirectory();
    const DWORD parent = parentProcessId();
    transcript.json(JsonLine("start")
                        .add("clock_us", startUs)
                        .add("pid", static_cast<long long>(GetCurrentProcessId()))
                        .add("parent_pid", static_cast<long long>(parent))
                        .add("cwd", cwd)
                        .add("command_line", GetCommandLineA()));
    transcript.readable("client stand-in started: pid %lu, parent %lu, directory %s",
                        GetCurrentProcessId(), parent, cwd.c_str());
    if (!options.problem.empty()) {
        transcript.json(JsonLine("error").add("what", options.problem));
        transcript.readable("error: %s", options.problem.c_str());
        return 2;
    }
    transcript.readable("environment:");
    recordEnvironment(transcript);

    char pipePath[1024] = {};
    const DWORD pathLength =
        GetEnvironmentVariableA("SPICE_XPI_NAMEDPIPE", pipePath, sizeof pipePath);
    if (options.noPipe || pathLength == 0 || pathLength >= sizeof pipePath) {
        const char* why = options.noPipe ? "asked not to" : "SPICE_XPI_NAMEDPIPE is not set";
        transcript.json(JsonLine("no_pipe").add("why", why));
        transcript.readable("no controller pipe: %s", why);
    } else {
        Sleep(static_cast<DWORD>(options.pipeDelayMs));
        // Message mode keeps the launcher's write boundaries: one read, one write.
        HANDLE pipe = CreateNamedPipeA(pipePath, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                       kReadBufferSize, kReadBufferSize, 0, nullptr);
        const long long createdUs = probe::clockMicroseconds();
        transcript.json(JsonLine("pipe_created")
                            .add("clock_us", createdUs)
                            .add("path", pipePath)
                            .add("ok", pipe != INVALID_HANDLE_VALUE));
        transcript.readable("%+8lld ms  pipe %s %s", (createdUs - startUs) / 1000, pipePath,
                            pipe != INVALID_HANDLE_VALUE ? "created" : "could not be created");
        if (pipe != INVALID_HANDLE_VALUE) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            DWORD bytes = 0;
            DWORD error = 0;
            const BOOL started = ConnectNamedPipe(pipe, &overlapped);
            if (finishIo(pipe, overlapped, started, kConnectLimitMs, bytes, error)) {
                const long long connectedUs = probe::clockMicroseconds();
                transcript.json(JsonLine("connected").add("clock_us", connectedUs));
                transcript.readable("%+8lld ms  launcher connected",
                                    (connectedUs - startUs) / 1000);
                serveConversation(pipe, options, startUs, transcript);
            } else {
                transcript.json(JsonLine("no_writer").add("error", static_cast<long long>(error)));
                transcript.readable("nobody opened the pipe");
            }
            CloseHandle(overlapped.hEvent);
            CloseHandle(pipe);
        }
    }

    Sleep(static_cast<DWORD>(options.lingerMs));
    const long long endUs = probe::clockMicroseconds();
    transcript.json(JsonLine("exit")
                        .add("clock_us", endUs)
                        .add("code", static_cast<long long>(options.exitCode)));
    transcript.readable("%+8lld ms  exiting with code %d", (endUs - startUs) / 1000,
                        options.exitCode);
    return options.exitCode;
}

} // namespace
} // namespace standin

int main(int argc, char** argv) {
    return standin::run(argc, argv);
}
