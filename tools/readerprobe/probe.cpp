#include "tools/readerprobe/probe.h"

#include <windows.h>

#include <memory>
#include <mutex>

#include "control/control_methods.h"
#include "control/win32/machine_policy.h"
#include "control/win32/network_drive.h"
#include "device/win32/hid_discovery.h"
#include "device/win32/named_reader_lock.h"
#include "tools/readerprobe/registration_probe.h"
#include "trace/win32/process_trace.h"
#include "win32/utf8_text.h"

namespace {

struct LocalMemoryFree {
    void operator()(wchar_t* text) const { ::LocalFree(text); }
};

// The system's message for an error code, without its line end.
std::string SystemMessage(uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalMemoryFree> owned(buffer);
    std::wstring text(buffer ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return WideToUtf8(text);
}

// The verdict against the reader identity the interface has, or, when it
// has neither, against the first (which then tells why it is no reader).
InterfaceFinding Judged(const HidInterfaceSeen& seen) {
    ReaderIdentity identity = kReaderIdentities[0];
    for (const ReaderIdentity& reader : kReaderIdentities)
        if (seen.identified && seen.vendorId == reader.vendorId && seen.productId == reader.productId)
            identity = reader;
    return {seen, JudgeHidInterface(seen, identity), seen.opened ? std::string() : SystemMessage(seen.openError)};
}

std::optional<ReaderFinding> ReaderDevOpenTakes() {
    for (const ReaderIdentity& identity : kReaderIdentities) {
        HidDevicePtr reader = OpenHidDevice(identity.vendorId, identity.productId);
        if (reader) return ReaderFinding{identity, reader->pDetail->DevicePath, reader->nReportLen};
    }
    return std::nullopt;
}

// The lines the control's trace would write for the exchange.
class CollectedTrace final : public TraceSink {
public:
    CollectedTrace() : TraceSink(TraceLevel::Calls) {}
    void Write(const TraceEvent& event) noexcept override {
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(event.Text());
        } catch (...) {
        }
    }
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string text;
        for (const std::string& line : lines_) text += line + "\n";
        return text;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// DevOpen, DevCall and DevClose on the control's method logic, with the
// policy's time limit and, for a page URL, the site lock's verdict.
CallFinding Exchange(const std::string& command, const MachinePolicy& policy, const std::optional<SiteVerdict>& page) {
    CollectedTrace trace;
    CallFinding call;
    {
        // Its command takes its turn on the reader as the pages' do.
        ControlMethods methods([](uint16_t vendorId, uint16_t productId) { return OpenHidDevice(vendorId, productId); },
                               [] {}, &OpenNamedReaderLock);
        methods.SetTrace(&trace);
        methods.SetExchangeTimeout(policy.exchangeTimeout);
        if (page) methods.AllowReaders(page->allowed);
        call.handle = methods.DevOpen();
        call.answer = methods.DevCall(command.c_str());
        methods.DevClose(call.handle);
    }
    call.trace = trace.Text();
    return call;
}

}  // namespace

ProbeReport Probe(const ProbeRequest& request) {
    ProbeReport report;
    EnumerateHidInterfaces([&](const HidInterfaceSeen& seen) { report.interfaces.push_back(Judged(seen)); });
    report.reader = ReaderDevOpenTakes();
    report.registrations = ProbeRegistrations();
    report.killBits = ProbeKillBits();
    report.policy = ReadMachinePolicy();
    report.traceFolder = report.policy.trace.folder.empty() ? DefaultTraceFolder() : report.policy.trace.folder;
    if (request.url) {
        report.url = request.url;
        report.verdict = report.policy.siteLock.Judge(*request.url, &IsNetworkDrive);
    }
    if (request.command) report.call = Exchange(*request.command, report.policy, report.verdict);
    return report;
}

ProbeExit ExitCodeOf(const ProbeReport& report) {
    if (report.verdict && !report.verdict->allowed) return kProbeUrlRefused;
    if (!report.reader) return kProbeNoReader;
    if (report.call && report.call->answer.empty()) return kProbeExchangeFailed;
    return kProbeOk;
}
