#include "control/control_methods.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "certificate/certificate.h"
#include "control/call_trace.h"
#include "device/hid_interface.h"
#include "device/download_ca.h"

namespace {

// Handles are a per-process counter, never bits of an address; 0 is skipped
// because it means "no reader".
int32_t NextHandle() {
    static std::atomic<uint32_t> counter{0};
    uint32_t value;
    do {
        value = ++counter;
    } while (value == 0);
    return static_cast<int32_t>(value);
}

using MessageBuffer = std::array<uint8_t, kMessageBufferSize>;

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed);
}

std::string FormatValidity(const CertificateFields& fields) {
    const CertificateTime& from = fields.notBefore;
    const CertificateTime& to = fields.notAfter;
    char text[40] = {};
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d,%d/%02d/%02d %02d:%02d:%02d", from.year, from.month,
                  from.day, from.hour, from.minute, from.second, to.year, to.month, to.day, to.hour, to.minute,
                  to.second);
    return text;
}

}  // namespace

ControlMethods::ControlMethods(ReaderOpener opener, AsyncAnswerWake wake, ReaderLockFactory locks)
    : m_opener(std::move(opener)),
      m_locks(std::move(locks)),
      m_asyncCalls([](AsyncCallRequest& request) { return AsyncCallThreadProc(request); }, std::move(wake)) {}

ControlMethods::~ControlMethods() {
    m_destroying = true;
    // Closing first ends the exchange the worker may be waiting in.
    if (auto connection = TakeConnection()) connection->Close();
    m_asyncCalls.Stop();
}

std::shared_ptr<ReaderConnection> ControlMethods::CurrentConnection() {
    std::lock_guard<std::mutex> lock(m_connectionMutex);
    return m_pDevice;
}

std::shared_ptr<ReaderConnection> ControlMethods::TakeConnection() {
    std::lock_guard<std::mutex> lock(m_connectionMutex);
    return std::move(m_pDevice);
}

void ControlMethods::AllowReaders(bool allowed) {
    m_readersAllowed = allowed;
    if (!allowed)
        if (auto connection = TakeConnection()) connection->Close();
}

int32_t ControlMethods::DevOpen() {
    const auto start = Clock::now();
    const auto failed = [&](const char* failure) {
        Trace(m_trace, TraceLevel::Errors, [&] {
            return TraceEvent("DevOpen")
                .Add("handle", 0)
                .Add("ms", Milliseconds(Clock::now() - start).count())
                .Add("failure", failure);
        });
        return 0;
    };
    if (!m_readersAllowed) return failed(ExchangeFailureText(ExchangeFailure::Refused));
    if (auto previous = TakeConnection()) previous->Close();
    for (const ReaderIdentity& identity : kReaderIdentities) {
        HidDevicePtr device = m_opener(identity.vendorId, identity.productId);
        if (!device) continue;
        const int32_t handle = NextHandle();
        Trace(m_trace, TraceLevel::Calls, [&] {
            return TraceEvent("DevOpen")
                .Add("handle", handle)
                .Add("ms", Milliseconds(Clock::now() - start).count())
                .Add("reader", IdentityText(identity))
                .Add("report-length", device->nReportLen)
                .Add("path", device->pDetail->DevicePath);
        });
        // Without a lock shared by path (none could be made), the connection
        // still takes turns with itself.
        std::unique_ptr<ReaderLock> readerLock = m_locks ? m_locks(device->pDetail->DevicePath) : nullptr;
        auto connection =
            std::make_shared<ReaderConnection>(std::move(device), handle, m_exchangeTimeout, std::move(readerLock));
        std::lock_guard<std::mutex> lock(m_connectionMutex);
        m_pDevice = std::move(connection);
        return handle;
    }
    return failed("no reader: no interface of either identity was taken");
}

void ControlMethods::DevClose(int32_t hDev) {
    const auto traced = [&](TraceLevel level, const char* outcome) {
        Trace(m_trace, level, [&] { return TraceEvent("DevClose").Add("handle", hDev).Add("closed", outcome); });
    };
    if (!m_readersAllowed) return traced(TraceLevel::Errors, ExchangeFailureText(ExchangeFailure::Refused));
    std::shared_ptr<ReaderConnection> connection;
    {
        std::lock_guard<std::mutex> lock(m_connectionMutex);
        if (!m_pDevice || m_pDevice->Handle() != hDev)
            return traced(TraceLevel::Calls, "nothing: not the handle of the open connection");
        connection = std::move(m_pDevice);
    }
    connection->Close();
    traced(TraceLevel::Calls, "yes");
}

std::string ControlMethods::ExchangeText(const char* cmd, ReaderConnection* connection) {
    MessageBuffer command;
    uint32_t length = 0;
    if (!m_base64.Decode(TextOf(cmd), command.data(), kMessageBufferSize, length) || length == 0) return {};
    if (!connection) return {};
    MessageBuffer answer;
    const uint32_t count = connection->Exchange(command.data(), length, answer.data(), kMessageBufferSize);
    return m_base64.Encode(answer.data(), count);
}

std::string ControlMethods::TracedExchange(std::string_view method, uint32_t call, const char* cmd,
                                           const std::shared_ptr<ReaderConnection>& connection) {
    const auto start = Clock::now();
    std::string answer = ExchangeText(cmd, connection.get());
    if (m_trace) TraceExchange(method, call, cmd, connection.get(), answer, Clock::now() - start);
    return answer;
}

// Decodes the command and the answer again, which costs nothing next to
// the reader's time and only when the event is written; why an empty answer
// came is told from what is known afterwards.
void ControlMethods::TraceExchange(std::string_view method, uint32_t call, const char* cmd,
                                   ReaderConnection* connection, const std::string& answer,
                                   Clock::duration elapsed) noexcept {
    ExchangeRecord record{method, call, connection ? connection->Handle() : 0};
    record.elapsed = Milliseconds(elapsed);
    if (answer.empty()) {
        const bool timedOut = m_exchangeTimeout > ExchangeTimeout::zero() && elapsed >= m_exchangeTimeout;
        record.failure = !m_readersAllowed                         ? ExchangeFailure::Refused
                         : TextOf(cmd).empty()                     ? ExchangeFailure::BadCommand
                         : !connection                             ? ExchangeFailure::NoReader
                         : connection != CurrentConnection().get() ? ExchangeFailure::Cancelled
                         : timedOut                                ? ExchangeFailure::TimedOut
                                                                   : ExchangeFailure::NoAnswer;
    }
    Trace(m_trace, ExchangeTraceLevel(record), [&] {
        MessageBuffer command, answerBytes;
        if (!m_base64.Decode(TextOf(cmd), command.data(), kMessageBufferSize, record.commandLength) ||
            record.commandLength == 0) {
            record.commandLength = 0;
            if (record.failure != ExchangeFailure::Refused) record.failure = ExchangeFailure::BadCommand;
        }
        if (!m_base64.Decode(answer, answerBytes.data(), kMessageBufferSize, record.answerLength))
            record.answerLength = 0;
        record.command = command.data();
        record.answer = answerBytes.data();
        return ExchangeEvent(record, m_trace->Wants(TraceLevel::Bytes));
    });
}

std::string ControlMethods::DevCall(const char* cmd) {
    if (!m_readersAllowed) {
        if (m_trace) TraceExchange("DevCall", 0, cmd, nullptr, {}, {});
        return {};
    }
    m_asyncCalls.WaitUntilRun();  // the calls made before this one go first
    return TracedExchange("DevCall", 0, cmd, CurrentConnection());
}

void ControlMethods::DevCallAsync(const char* cmd) {
    // A refused page's call still gets its answer, "", in its turn.
    if (!m_readersAllowed) cmd = nullptr;
    auto request = std::make_unique<AsyncCallRequest>();
    const std::string_view text = TextOf(cmd);
    // Text that does not fit is not cut (that would send another command):
    // the worker gets none, sends nothing and answers with empty text.
    const size_t copied = text.size() < sizeof request->szCmd ? text.size() : 0;
    std::copy_n(text.data(), copied, request->szCmd);
    request->szCmd[copied] = '\0';
    request->pCtrl = this;
    request->connection = CurrentConnection();
    request->callNumber = ++m_asyncCallCount;
    if (m_trace) {
        const size_t depth = m_asyncCalls.Outstanding();
        const bool full = depth >= AsyncCallQueue::kMaxOutstanding;
        Trace(m_trace, full ? TraceLevel::Errors : TraceLevel::Calls, [&] {
            TraceEvent event("DevCallAsync");
            event.Add("call", request->callNumber).Add("queued", full ? depth : depth + 1);
            if (full) event.Add("failure", ExchangeFailureText(ExchangeFailure::QueueFull));
            return event;
        });
    }
    m_asyncCalls.Add(std::move(request));
}

std::string ControlMethods::AsyncCallThreadProc(AsyncCallRequest& request) {
    return request.pCtrl->TracedExchange("DevCallAsync", request.callNumber, request.szCmd, request.connection);
}

std::optional<std::string> ControlMethods::TakeAsyncAnswer() {
    if (m_destroying) return std::nullopt;
    return m_asyncCalls.TakeAnswer();
}

int32_t ControlMethods::LoadCA(int32_t nFlag, std::string_view b64CAData) {
    const auto start = Clock::now();
    uint32_t length = 0;
    const int32_t result = LoadCertificate(nFlag, b64CAData, length);
    Trace(m_trace, result == kCaLoaded ? TraceLevel::Calls : TraceLevel::Errors, [&] {
        TraceEvent event("LoadCA");
        event.Add("variant", nFlag).Add("bytes", length).Add("blocks", (length + kCaBlockSize - 1) / kCaBlockSize);
        event.Add("result", result).Add("ms", Milliseconds(Clock::now() - start).count());
        if (result != kCaLoaded)
            event.Add("failure",
                      m_readersAllowed ? CaResultText(result) : ExchangeFailureText(ExchangeFailure::Refused));
        return event;
    });
    return result;
}

int32_t ControlMethods::LoadCertificate(int32_t nFlag, std::string_view b64CAData, uint32_t& length) {
    if (!m_readersAllowed) return kCaSendFailed;
    if (nFlag != 1 && nFlag != 2) return kCaBadVariant;
    MessageBuffer certificate;
    // A certificate goes to the reader whole or not at all: text that the
    // lenient decoder would cut short (lines, as openssl writes them) must
    // not load a truncated CA and report success.
    if (!m_base64.DecodeStrict(b64CAData, certificate.data(), kMessageBufferSize, length) || length == 0) {
        length = 0;
        return kCaSendFailed;
    }
    m_asyncCalls.WaitUntilRun();  // the calls made before this one go first
    const auto connection = CurrentConnection();
    if (!connection) return kCaSendFailed;
    return connection->DownloadCA(nFlag, certificate.data(), length);
}

namespace {

std::optional<CertificateFields> ParseCertificateText(const Base64& codec, const char* b64CAData) {
    MessageBuffer der;
    uint32_t length = 0;
    if (!codec.Decode(ControlMethods::TextOf(b64CAData), der.data(), kMessageBufferSize, length)) return std::nullopt;
    return ParseCertificate(der.data(), length);
}

}  // namespace

void ControlMethods::TraceCertificateCall(const char* method, const char* b64CAData, bool parsed) const noexcept {
    Trace(m_trace, parsed ? TraceLevel::Calls : TraceLevel::Errors, [&] {
        TraceEvent event(method);
        event.Add("chars", TextOf(b64CAData).size()).Add("result", parsed ? "text" : "null");
        if (!parsed) event.Add("failure", "not one certificate of at most 4096 bytes in Base64");
        return event;
    });
}

std::optional<std::string> ControlMethods::GetX509ValidDate(const char* b64CAData) const {
    const auto fields = ParseCertificateText(m_base64, b64CAData);
    TraceCertificateCall("GetX509ValidDate", b64CAData, fields.has_value());
    if (!fields) return std::nullopt;
    return FormatValidity(*fields);
}

std::optional<std::string> ControlMethods::GetX509Sn(const char* b64CAData) const {
    const auto fields = ParseCertificateText(m_base64, b64CAData);
    TraceCertificateCall("GetX509Sn", b64CAData, fields.has_value());
    if (!fields) return std::nullopt;
    return m_base64.Encode(fields->serialNumber.data(), static_cast<uint32_t>(fields->serialNumber.size()));
}
