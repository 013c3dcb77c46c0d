// What each of the control's script methods does, as 8-bit text in and 8-bit
// text out. The COM control converts strings and forwards here; it provides
// how readers are found and how an asynchronous answer reaches its thread.
//
// Threads and lifetime: methods are called on the control's thread. Each
// DevCallAsync runs its exchange on a worker; exchanges on one connection
// never overlap. Closing a connection (DevClose, a new DevOpen, destruction)
// cancels a pending read and waits for the exchange to leave, so nothing
// hangs on a silent reader. Destruction waits for every worker, and no
// answer is delivered once destruction has begun.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "codec/base64.h"
#include "control/reader_connection.h"
#include "control/worker_threads.h"
#include "device/hid_device.h"

// Opens the attached reader of one identity, or gives null.
using ReaderOpener = std::function<HidDevicePtr(uint16_t vendorId, uint16_t productId)>;

// Receives DevCallAsync's answer on the worker thread. It must hand the text
// over to the control's thread and return without waiting for that thread.
using AsyncAnswerDelivery = std::function<void(const std::string& backData)>;

// The reader identities, in the order DevOpen tries them.
struct ReaderIdentity {
    uint16_t vendorId;
    uint16_t productId;
};
inline constexpr ReaderIdentity kReaderIdentities[] = {{0x155B, 0x4612}, {0x6A8A, 0x0801}};

// Every command and answer lives in a buffer of this size.
constexpr uint32_t kMessageBufferSize = 4096;

class ControlMethods;

// One DevCallAsync call, owned by its worker.
struct AsyncCallRequest {
    char szCmd[kMessageBufferSize];  // the command text, zero-terminated
    ControlMethods* pCtrl;
};

class ControlMethods {
public:
    ControlMethods(ReaderOpener opener, AsyncAnswerDelivery delivery);
    ~ControlMethods();
    ControlMethods(const ControlMethods&) = delete;
    ControlMethods& operator=(const ControlMethods&) = delete;

    // Whether the page may use the readers: the site lock's verdict, true
    // until told otherwise. A refused page opens, uses and closes no reader
    // (DevOpen 0, DevCall "", DevCallAsync sends nothing and is answered "",
    // LoadCA kCaSendFailed, DevClose nothing), and the connection that was
    // open when the verdict fell is closed. The certificate methods touch no
    // reader and keep working.
    void AllowReaders(bool allowed);
    // How long each exchange on connections opened from now on may take;
    // zero (as at first): no limit.
    void SetExchangeTimeout(ExchangeTimeout timeout) { m_exchangeTimeout = timeout; }

    // Text arguments may be null, which counts as empty text.

    // Opens the first identity's reader, else the second's; closes a
    // connection that was open. The handle, or 0 when no reader was opened.
    int32_t DevOpen();
    // Closes the open connection when `hDev` is its handle; any other value
    // closes nothing.
    void DevClose(int32_t hDev);
    // The reader's answer to `cmd` (both Base64). Empty when nothing could be
    // sent: no connection, no bytes, a failed write, or a command of more
    // than kMessageBufferSize bytes (which is not sent). An answer longer
    // than kMessageBufferSize bytes is refused as empty too.
    std::string DevCall(const char* cmd);
    // Starts the exchange of DevCall on a worker and returns; the answer goes
    // to the delivery function. Text longer than fits AsyncCallRequest::szCmd
    // is not sent and is answered with empty text. No answer follows when no
    // worker could be started. Throws std::bad_alloc when out of memory.
    void DevCallAsync(const char* cmd);
    // Loads a CA certificate into the reader: a CaResult. kCaBadVariant for a
    // variant other than 1 or 2; kCaSendFailed, with nothing sent, when no
    // reader is open, or the text is not one whole Base64 encoding (see
    // Base64::DecodeStrict), or it decodes to no bytes or to more than
    // kMessageBufferSize.
    int32_t LoadCA(int32_t nFlag, const char* b64CAData);
    // "YYYY/MM/DD hh:mm:ss,YYYY/MM/DD hh:mm:ss" (UTC), or nothing when the
    // text is not one certificate of at most kMessageBufferSize bytes.
    std::optional<std::string> GetX509ValidDate(const char* b64CAData) const;
    // The serial number's content octets, least significant first, as Base64;
    // nothing as above.
    std::optional<std::string> GetX509Sn(const char* b64CAData) const;

    // The worker's thread function; always returns 0. When memory runs out
    // on the worker, no answer follows.
    static uint32_t AsyncCallThreadProc(std::unique_ptr<AsyncCallRequest> request);

private:
    std::string ExchangeText(const char* cmd);
    std::shared_ptr<ReaderConnection> CurrentConnection();
    std::shared_ptr<ReaderConnection> TakeConnection();
    void Deliver(const std::string& backData);

    ReaderOpener m_opener;
    AsyncAnswerDelivery m_delivery;
    Base64 m_base64;
    std::mutex m_connectionMutex;  // guards m_pDevice: workers read it too
    std::shared_ptr<ReaderConnection> m_pDevice;
    std::atomic<bool> m_destroying{false};
    std::atomic<bool> m_readersAllowed{true};
    ExchangeTimeout m_exchangeTimeout{ExchangeTimeout::zero()};
    WorkerThreads m_workers;  // last: joined before the rest is destroyed
};
