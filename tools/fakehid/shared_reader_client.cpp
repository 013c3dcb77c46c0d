#include "tools/fakehid/shared_reader_client.h"

#include <algorithm>
#include <vector>

#include "sim/win32/shared_reader_protocol.h"
#include "win32/unique_resource.h"

namespace {

constexpr DWORD kAnswerTimeoutMs = 5000;

// One overlapped read or write on the host's handle, waited for: the bytes
// moved, or nothing when it failed.
std::optional<DWORD> Transfer(HANDLE file, bool write, uint8_t* buffer, DWORD size) {
    UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return std::nullopt;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    const BOOL started = write ? ::WriteFile(file, buffer, size, nullptr, &overlapped)
                               : ::ReadFile(file, buffer, size, nullptr, &overlapped);
    if (!started && ::GetLastError() != ERROR_IO_PENDING) return std::nullopt;
    DWORD moved = 0;
    if (!::GetOverlappedResult(file, &overlapped, &moved, TRUE)) return std::nullopt;
    return moved;
}

bool SendRequest(HANDLE file, shared_reader::Request request, uint32_t argument) {
    uint8_t message[shared_reader::kRequestSize] = {request};
    for (int i = 0; i < 4; ++i) message[4 + i] = static_cast<uint8_t>(argument >> (8 * i));
    return Transfer(file, true, message, sizeof message) == sizeof message;
}

}  // namespace

std::optional<std::string> AskSharedReader(const std::string& name, const std::string& request) {
    std::string answer(shared_reader::kMaxControlAnswer, '\0');
    DWORD read = 0;
    if (!::CallNamedPipeA(shared_reader::ControlPath(name).c_str(), const_cast<char*>(request.data()),
                          static_cast<DWORD>(request.size()), answer.data(), static_cast<DWORD>(answer.size()), &read,
                          kAnswerTimeoutMs) ||
        read == 0)
        return std::nullopt;
    answer.resize(read - 1);  // every answer ends with a line break
    return answer;
}

bool FlushSharedHandle(HANDLE file, uint16_t reportLen) {
    if (!SendRequest(file, shared_reader::kFlushQueue, 0)) return false;
    std::vector<uint8_t> message(std::max<size_t>(reportLen, shared_reader::kFlushedSize));
    for (;;) {
        const auto size = Transfer(file, false, message.data(), static_cast<DWORD>(message.size()));
        if (!size) return false;
        if (*size == shared_reader::kFlushedSize) return true;
    }
}

bool SetSharedInputBuffers(HANDLE file, ULONG count) {
    return SendRequest(file, shared_reader::kSetInputBuffers, count);
}
