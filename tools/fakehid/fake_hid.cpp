// The HID class library functions a reader's host uses to examine and set
// up an open interface, answered from the simulated readers. hid.dll
// forwards to these.
#include <windows.h>

#include <hidsdi.h>

#include <vector>

#include "tools/fakehid/hid_interface_class.h"
#include "win32/entry_barrier.h"
#include "win32/unique_resource.h"
#include "tools/fakehid/reader_registry.h"
#include "tools/fakehid/shared_reader_client.h"

namespace {

// Input buffers the HID class driver agrees to keep for one handle.
constexpr ULONG kMinInputBuffers = 2;
constexpr ULONG kMaxInputBuffers = 512;

// The present reader behind `file`, or null (last error set).
std::shared_ptr<FakeReader> ReaderBehind(HANDLE file) {
    auto reader = ReaderRegistry::Instance().FindByHandle(file);
    if (!reader) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A host calls into hid.dll right after each CreateFile on an interface:
    // the moment to let the reader make ready for the next CreateFile.
    reader->CatchUp();
    if (!reader->Present()) {
        ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return reader;
}

// Reads one message waiting on the host's (overlapped) handle into `buffer`.
bool DiscardOneMessage(HANDLE file, std::vector<uint8_t>& buffer) {
    UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    const auto size = static_cast<DWORD>(buffer.size());
    if (!::ReadFile(file, buffer.data(), size, nullptr, &overlapped) && ::GetLastError() != ERROR_IO_PENDING)
        return false;
    DWORD read = 0;
    return ::GetOverlappedResult(file, &overlapped, &read, TRUE) != FALSE;
}

}  // namespace

extern "C" void NTAPI FakeHidD_GetHidGuid(LPGUID guid) {
    if (guid != nullptr) *guid = kHidInterfaceClass;
}

extern "C" BOOLEAN NTAPI FakeHidD_GetAttributes(HANDLE file, PHIDD_ATTRIBUTES attributes) {
    return ApiEntry<BOOLEAN>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOLEAN {
        const auto reader = ReaderBehind(file);
        if (!reader || attributes == nullptr) return FALSE;
        attributes->Size = sizeof(HIDD_ATTRIBUTES);
        attributes->VendorID = reader->Description().vendorId;
        attributes->ProductID = reader->Description().productId;
        attributes->VersionNumber = 0x0100;
        return TRUE;
    });
}

extern "C" BOOLEAN NTAPI FakeHidD_GetPreparsedData(HANDLE file, PHIDP_PREPARSED_DATA* data) {
    return ApiEntry<BOOLEAN>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOLEAN {
        const auto reader = ReaderBehind(file);
        if (!reader || data == nullptr) return FALSE;
        *data = static_cast<PHIDP_PREPARSED_DATA>(
            ReaderRegistry::Instance().PreparsedData().Add(PreparsedBlock{reader->Description().reportLen}));
        return TRUE;
    });
}

extern "C" BOOLEAN NTAPI FakeHidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    return ApiEntry<BOOLEAN>(FALSE, ERROR_INVALID_PARAMETER, [&]() -> BOOLEAN {
        if (ReaderRegistry::Instance().PreparsedData().Remove(data)) return TRUE;
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    });
}

extern "C" NTSTATUS NTAPI FakeHidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    return ApiEntry<NTSTATUS>(HIDP_STATUS_INVALID_PREPARSED_DATA, ERROR_INVALID_PARAMETER, [&]() -> NTSTATUS {
        const auto block = ReaderRegistry::Instance().PreparsedData().Find(data);
        if (!block || caps == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
        *caps = HIDP_CAPS{};
        caps->UsagePage = 0xFF00;  // vendor-defined, as a card reader's interface is
        caps->Usage = 0x01;
        caps->InputReportByteLength = block->reportLen;
        caps->OutputReportByteLength = block->reportLen;
        return HIDP_STATUS_SUCCESS;
    });
}

extern "C" BOOLEAN NTAPI FakeHidD_SetNumInputBuffers(HANDLE file, ULONG count) {
    return ApiEntry<BOOLEAN>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOLEAN {
        const auto reader = ReaderBehind(file);
        if (!reader) return FALSE;
        if (count < kMinInputBuffers || count > kMaxInputBuffers) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (reader->Shared() && !SetSharedInputBuffers(file, count)) return FALSE;
        reader->SetInputBuffers(count);
        return TRUE;
    });
}

// The driver's queue of input reports not yet read. A simulated reader keeps
// at most one report waiting in the pipe (it sends the next one only once
// that was read), so discarding what the pipe holds now is the same; a
// message caught halfway leaves middle and last reports, which a host's
// framing skips while it waits for a first report. The shared reader keeps
// each handle's queue in its server, which empties it when asked.
extern "C" BOOLEAN NTAPI FakeHidD_FlushQueue(HANDLE file) {
    return ApiEntry<BOOLEAN>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOLEAN {
        const auto reader = ReaderBehind(file);
        if (!reader) return FALSE;
        if (reader->Shared()) return FlushSharedHandle(file, reader->Description().reportLen);
        DWORD available = 0;
        while (::PeekNamedPipe(file, nullptr, 0, nullptr, &available, nullptr) && available != 0) {
            std::vector<uint8_t> report(available);
            if (!DiscardOneMessage(file, report)) return FALSE;
        }
        return TRUE;
    });
}
