#include "control/control_methods.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "certificate/certificate.h"
#include "device/download_ca.h"

namespace {

std::string_view TextOf(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

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

ControlMethods::ControlMethods(ReaderOpener opener, AsyncAnswerWake wake)
    : m_opener(std::move(opener)),
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
    if (!m_readersAllowed) return 0;
    if (auto previous = TakeConnection()) previous->Close();
    for (const ReaderIdentity& identity : kReaderIdentities) {
        HidDevicePtr device = m_opener(identity.vendorId, identity.productId);
        if (!device) continue;
        auto connection = std::make_shared<ReaderConnection>(std::move(device), NextHandle(), m_exchangeTimeout);
        std::lock_guard<std::mutex> lock(m_connectionMutex);
        m_pDevice = connection;
        return connection->Handle();
    }
    return 0;
}

void ControlMethods::DevClose(int32_t hDev) {
    if (!m_readersAllowed) return;
    std::shared_ptr<ReaderConnection> connection;
    {
        std::lock_guard<std::mutex> lock(m_connectionMutex);
        if (!m_pDevice || m_pDevice->Handle() != hDev) return;
        connection = std::move(m_pDevice);
    }
    connection->Close();
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

std::string ControlMethods::DevCall(const char* cmd) {
    if (!m_readersAllowed) return {};
    m_asyncCalls.WaitUntilRun();  // the calls made before this one go first
    return ExchangeText(cmd, CurrentConnection().get());
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
    m_asyncCalls.Add(std::move(request));
}

std::string ControlMethods::AsyncCallThreadProc(AsyncCallRequest& request) {
    return request.pCtrl->ExchangeText(request.szCmd, request.connection.get());
}

std::optional<std::string> ControlMethods::TakeAsyncAnswer() {
    if (m_destroying) return std::nullopt;
    return m_asyncCalls.TakeAnswer();
}

int32_t ControlMethods::LoadCA(int32_t nFlag, const char* b64CAData) {
    if (!m_readersAllowed) return kCaSendFailed;
    if (nFlag != 1 && nFlag != 2) return kCaBadVariant;
    MessageBuffer certificate;
    uint32_t length = 0;
    // A certificate goes to the reader whole or not at all: text that the
    // lenient decoder would cut short (lines, as openssl writes them) must
    // not load a truncated CA and report success.
    if (!m_base64.DecodeStrict(TextOf(b64CAData), certificate.data(), kMessageBufferSize, length) || length == 0)
        return kCaSendFailed;
    m_asyncCalls.WaitUntilRun();  // the calls made before this one go first
    const auto connection = CurrentConnection();
    if (!connection) return kCaSendFailed;
    return connection->DownloadCA(nFlag, certificate.data(), length);
}

namespace {

std::optional<CertificateFields> ParseCertificateText(const Base64& codec, const char* b64CAData) {
    MessageBuffer der;
    uint32_t length = 0;
    if (!codec.Decode(TextOf(b64CAData), der.data(), kMessageBufferSize, length)) return std::nullopt;
    return ParseCertificate(der.data(), length);
}

}  // namespace

std::optional<std::string> ControlMethods::GetX509ValidDate(const char* b64CAData) const {
    const auto fields = ParseCertificateText(m_base64, b64CAData);
    if (!fields) return std::nullopt;
    return FormatValidity(*fields);
}

std::optional<std::string> ControlMethods::GetX509Sn(const char* b64CAData) const {
    const auto fields = ParseCertificateText(m_base64, b64CAData);
    if (!fields) return std::nullopt;
    return m_base64.Encode(fields->serialNumber.data(), static_cast<uint32_t>(fields->serialNumber.size()));
}
