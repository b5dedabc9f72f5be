#include "pipe_serving.h"

#include "impersonation_probe.h"
#include "stream_decoder.h"
#include "windows_probe.h"

#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

namespace standin {
namespace {

constexpr std::uint32_t kPasswordId = 4;

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
constexpr std::uint32_t kCaFileId = 8;

// Whose the file is and who may open it, in SDDL ("O:S-1-5-...D:P(A;;GA;;;
// S-1-5-...)": the owner, then a protected list of one entry), or why that is
// unknown.
std::string accessList(const std::string& path) {
    DWORD size = 0;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    GetFileSecurityA(path.c_str(), parts, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    char* text = nullptr;
    if (size == 0 || !GetFileSecurityA(path.c_str(), parts, descriptor.data(), size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                              parts, &text, nullptr)) {
        return "unknown: error " + std::to_string(GetLastError());
    }
    std::string access = text;
    LocalFree(text);
    return access;
}

// The client reads the certificate authority's file as it connects, so the
// file must exist, whole, while the client runs: recorded as found then.
void recordCaFile(const std::string& path, Transcript& transcript) {
    JsonLine line("ca_file");
    line.add("path", path);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        transcript.json(line.add("error", static_cast<long long>(GetLastError())));
        return;
    }
    std::string contents;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        contents.append(chunk, got);
    }
    CloseHandle(file);
    transcript.json(line.add("contents", contents).add("access", accessList(path)));
    transcript.readable("            CA file %s: %lu bytes", path.c_str(),
                        static_cast<unsigned long>(contents.size()));
}

const char* describe(const DecodedMessage& message, const Transcript& transcript,
                     std::string& scratch) {
    if (message.kind == "invalid") {
        scratch = "INVALID (" + message.error + ")";
    } else if (message.kind == "init") {
        scratch = "opening record: magic CTRL, version 1, exclusive";
    } else if (message.kind == "number") {
        scratch = message.name + " " + std::to_string(message.number);
    } else if (message.kind == "text") {
        scratch =
            message.name + " \"" + transcript.shown(message.id == kPasswordId, message.text) + "\"";
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
void serveConversation(HANDLE pipe, const ServeOptions& options, long long startUs,
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
        const bool secret = !transcript.revealsPassword() && index > 0 && bytes > 8 &&
                            buffer[0] == kPasswordId && buffer[1] == 0 && buffer[2] == 0 &&
                            buffer[3] == 0;
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
            line.add("text", transcript.shown(secret, message.text));
        }
        if (error == ERROR_MORE_DATA) {
            line.add("error", "message larger than the read buffer");
        } else if (!message.error.empty()) {
            line.add("error", message.error);
        }
        transcript.json(line);
        transcript.readable("%+8lld ms  #%ld  %s", (now - startUs) / 1000, index + 1,
                            describe(message, transcript, scratch));
        if (index == 0) {
            const std::string level = probeImpersonation(pipe);
            transcript.json(JsonLine("impersonation").add("level", level));
            transcript.readable("            writer's token as seen by this pipe server: %s%s",
                                level.c_str(),
                                probe::runningUnderWine() ? " (Wine's fixed level)" : "");
        }
        ++index;
        if (message.id == kCaFileId && message.error.empty()) {
            recordCaFile(message.text, transcript);
        }
        if (message.id == kConnectId && message.error.empty()) {
            transcript.json(JsonLine("conversation_complete")
                                .add("clock_us", now)
                                .add("messages", static_cast<long long>(index)));
            break;
        }
    }
    CloseHandle(overlapped.hEvent);
}

} // namespace

void servePipe(const char* pipePath, const ServeOptions& options, long long startUs,
               Transcript& transcript) {
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
            transcript.readable("%+8lld ms  launcher connected", (connectedUs - startUs) / 1000);
            serveConversation(pipe, options, startUs, transcript);
        } else {
            transcript.json(JsonLine("no_writer").add("error", static_cast<long long>(error)));
            transcript.readable("nobody opened the pipe");
        }
        CloseHandle(overlapped.hEvent);
        CloseHandle(pipe);
    }
}

} // namespace standin
