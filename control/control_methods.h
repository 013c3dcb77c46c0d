// What each of the control's script methods does, as 8-bit text in and 8-bit
// text out. The COM control converts strings and forwards here; it provides
// how readers are found and how the control's thread is woken for answers.
//
// Threads and lifetime: methods are called on the control's thread.
// DevCallAsync queues its call for the control's one worker (see
// AsyncCallQueue) and returns; the answers are taken with TakeAsyncAnswer on
// the control's thread, in call order. Each call belongs to the connection
// open when it was made: it is sent on that connection or not at all, and
// once that connection is closed (DevClose, a new DevOpen) it is answered
// with empty text.
//
// Sharing a reader: every connection takes the reader's lock for each
// exchange, so that other controls, in this process or others, that open
// the same reader take turns with this one, and an answer that comes late
// (after a time limit, a cancellation or a page that died) is never taken
// for a later command's (see ReaderTurn, device/reader_turn.h).
//
// Order on the reader: commands reach the reader in the order of the calls,
// DevCall and LoadCA included. DevCall and LoadCA first wait until every
// DevCallAsync made before them has run, then take the connection's
// exchange lock; so exchanges never overlap, and a page that queued calls
// and then calls DevCall sees its commands sent as written. The wait is
// bounded by the queue's bound (AsyncCallQueue::kMaxOutstanding exchanges),
// and it cannot deadlock: the worker never waits for the control's thread.
// DevOpen and DevClose do not wait for the queue: closing a connection
// cancels its pending read and waits only for the exchange in progress to
// leave, so nothing hangs on a silent reader. Destruction stops the worker,
// and no answer is taken once destruction has begun.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "codec/base64.h"
#include "control/async_call_queue.h"
#include "control/reader_connection.h"
#include "device/hid_device.h"
#include "device/reader_identity.h"
#include "device/reader_lock.h"
#include "trace/trace_sink.h"

// Opens the attached reader of one identity, or gives null.
using ReaderOpener = std::function<HidDevicePtr(uint16_t vendorId, uint16_t productId)>;

// Called on any thread when DevCallAsync's next answer can be taken. It must
// hand over to the control's thread and return without waiting for it.
using AsyncAnswerWake = std::function<void()>;

class ControlMethods {
public:
    // Zero-terminated text; null counts as empty.
    static std::string_view TextOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

    // `locks` makes the lock of the reader at a device path, shared with
    // whoever else opens it; unset: each connection has a lock of its own.
    ControlMethods(ReaderOpener opener, AsyncAnswerWake wake, ReaderLockFactory locks = {});
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
    // How long each exchange on connections opened from now on may take,
    // the wait for the reader's turn included; zero (as at first): no limit.
    void SetExchangeTimeout(ExchangeTimeout timeout) { m_exchangeTimeout = timeout; }
    // Where each call is traced (see call_trace.h); null (as at first): not
    // traced. Set before the first call; the sink must outlive this object.
    void SetTrace(TraceSink* trace) { m_trace = trace; }

    // Text arguments may be null, which counts as empty text.

    // Opens the first identity's reader, else the second's; closes a
    // connection that was open. The handle, or 0 when no reader was opened.
    int32_t DevOpen();
    // Closes the open connection when `hDev` is its handle; any other value
    // closes nothing.
    void DevClose(int32_t hDev);
    // The reader's answer to `cmd` (both Base64). Empty when nothing could be
    // sent: no connection, no bytes, a failed write, no turn on the reader
    // within the time limit, or a command of more than kMessageBufferSize
    // bytes (which is not sent). Empty too when the connection was closed
    // during the answer (a cancelled answer is no short answer), and for an
    // answer longer than kMessageBufferSize bytes. An answer that the time
    // limit or an unplugged reader cut short gives the part that arrived.
    std::string DevCall(const char* cmd);
    // Queues the exchange of DevCall for the worker and returns; its answer
    // is taken with TakeAsyncAnswer. Text longer than fits
    // AsyncCallRequest::szCmd is not sent and is answered with empty text;
    // so is a call beyond the queue's bound. Throws std::bad_alloc when out
    // of memory.
    void DevCallAsync(const char* cmd);
    // The control's thread: the next DevCallAsync answer in call order, or
    // nothing when it is not there yet or destruction has begun.
    std::optional<std::string> TakeAsyncAnswer();
    // Whether a DevCallAsync call has not been answered to the control's
    // thread yet (its answer is on its way, or waits to be taken).
    bool AsyncAnswersOutstanding() { return m_asyncCalls.HasUntakenAnswers(); }
    // Loads a CA certificate into the reader: a CaResult. kCaBadVariant for a
    // variant other than 1 or 2; kCaSendFailed, with nothing sent, when no
    // reader is open, or the text is not one whole Base64 encoding (see
    // Base64::DecodeStrict; a zero inside the text is not part of one), or it
    // decodes to no bytes or to more than kMessageBufferSize. The text is
    // taken whole, up to its given length, not up to a first zero.
    int32_t LoadCA(int32_t nFlag, std::string_view b64CAData);
    int32_t LoadCA(int32_t nFlag, const char* b64CAData) { return LoadCA(nFlag, TextOf(b64CAData)); }
    // "YYYY/MM/DD hh:mm:ss,YYYY/MM/DD hh:mm:ss" (UTC), or nothing when the
    // text is not one certificate of at most kMessageBufferSize bytes.
    std::optional<std::string> GetX509ValidDate(const char* b64CAData) const;
    // The serial number's content octets, least significant first, as Base64;
    // nothing as above.
    std::optional<std::string> GetX509Sn(const char* b64CAData) const;

    // What the worker runs for one call: the exchange of DevCall on the
    // call's connection; gives the answer text.
    static std::string AsyncCallThreadProc(AsyncCallRequest& request);

private:
    std::string ExchangeText(const char* cmd, ReaderConnection* connection);
    // ExchangeText, traced.
    std::string TracedExchange(std::string_view method, uint32_t call, const char* cmd,
                               const std::shared_ptr<ReaderConnection>& connection);
    void TraceExchange(std::string_view method, uint32_t call, const char* cmd, ReaderConnection* connection,
                       const std::string& answer, std::chrono::steady_clock::duration elapsed) noexcept;
    int32_t LoadCertificate(int32_t nFlag, std::string_view b64CAData, uint32_t& length);
    void TraceCertificateCall(const char* method, const char* b64CAData, bool parsed) const noexcept;
    std::shared_ptr<ReaderConnection> CurrentConnection();
    std::shared_ptr<ReaderConnection> TakeConnection();

    ReaderOpener m_opener;
    ReaderLockFactory m_locks;
    Base64 m_base64;
    std::mutex m_connectionMutex;  // guards m_pDevice
    std::shared_ptr<ReaderConnection> m_pDevice;
    std::atomic<bool> m_destroying{false};
    std::atomic<bool> m_readersAllowed{true};
    ExchangeTimeout m_exchangeTimeout{ExchangeTimeout::zero()};
    TraceSink* m_trace = nullptr;
    std::atomic<uint32_t> m_asyncCallCount{0};
    AsyncCallQueue m_asyncCalls;  // last: stopped before the rest is destroyed
};
