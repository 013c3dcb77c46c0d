// One simulated reader that several handles reach at once, with the
// semantics of a HID device opened by several programs:
// - each open handle has an input queue of its own, bounded (32 reports
//   until SetInputBuffers says otherwise, as the HID class driver keeps);
//   when it is full the oldest report is dropped;
// - every input report the reader sends goes to every open handle;
// - the output reports of every handle feed the one reader, in the order
//   they were written;
// - Flush empties the caller's queue alone, at once.
//
// The reader answers each command message through a responder, on a thread
// of its own, and records what it received. A message whose reports came
// from more than one handle (two writers interleaved) is recorded as a
// protocol violation: no real reader can make sense of it.
//
// Natively, SharedReaderLink makes a handle a ReportLink; on Windows the
// shared reader server (tools/fakehid) serves one to every process.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/report_link.h"
#include "sim/reader_simulator.h"

class SharedReader {
public:
    using Handle = uint64_t;
    static constexpr size_t kDefaultInputBuffers = 32;
    // What HidD_SetNumInputBuffers accepts.
    static constexpr size_t kMinInputBuffers = 2;
    static constexpr size_t kMaxInputBuffers = 512;

    SharedReader(uint16_t reportLen, Responder responder);
    ~SharedReader();  // unplugs and waits for the reader's thread
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;

    uint16_t ReportLength() const { return reportLen_; }

    // A new handle with an empty queue; reports sent before it are not in it.
    Handle Open();
    // Closes the handle: its reads end, its queue goes.
    void Close(Handle handle);
    // False for a count outside kMinInputBuffers..kMaxInputBuffers.
    bool SetInputBuffers(Handle handle, size_t count);
    // Empties the handle's queue; its next Read() tells Input::Flushed once.
    void Flush(Handle handle);
    // One output report from the handle; false once the reader is gone or
    // the handle closed, or for a report of the wrong length.
    bool Write(Handle handle, const uint8_t* report, size_t length);

    enum class Input {
        Report,    // `report` holds the oldest report of the queue
        Flushed,   // the queue was flushed since the last Read (before the reports now in it)
        TimedOut,  // the deadline passed
        Closed,    // the handle was closed or cancelled, or the reader is gone
    };
    // Waits for the handle's next input until `deadline` (nothing: no limit).
    Input Read(Handle handle, Report& report, ReportDeadline deadline = std::nullopt);
    // Ends the handle's pending and later reads (Closed), as CancelIoEx on
    // a HID handle does, without closing it.
    void Cancel(Handle handle);

    // The reader disappears: every read and write fails from now on.
    void Unplug();

    // Findings.
    std::vector<Bytes> Received() const;
    size_t ReceivedCount() const;
    bool WaitForMessages(size_t count, int timeoutMs) const;
    // One line per message made of reports of several handles.
    std::vector<std::string> Violations() const;
    // Handles open now.
    size_t OpenHandles() const;
    // Reports dropped because a queue was full, over all handles.
    size_t DroppedReports() const;

private:
    struct Queue {
        std::deque<Report> reports;
        size_t capacity = kDefaultInputBuffers;
        bool flushed = false;
        bool cancelled = false;
    };
    struct Written {
        Handle handle;
        Report report;
    };

    void Serve();
    // Whether the written report completes a message; records it if so.
    bool Assemble(const Written& written, Bytes& message);
    void Broadcast(const std::vector<Report>& reports);

    const uint16_t reportLen_;
    const Responder responder_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<Handle, Queue> queues_;
    std::deque<Written> written_;  // output reports not yet taken in by the reader
    Handle lastHandle_ = 0;
    bool gone_ = false;
    size_t dropped_ = 0;
    std::vector<Bytes> received_;
    std::vector<std::string> violations_;
    // The message being assembled (the reader's thread only).
    MessageAssembler assembler_;
    std::set<Handle> sources_;
    std::thread thread_;
};

// A handle of a SharedReader as a report link, as a HID handle is one.
class SharedReaderLink final : public ReportLink {
public:
    explicit SharedReaderLink(SharedReader& reader) : reader_(reader), handle_(reader.Open()) {}
    ~SharedReaderLink() override { reader_.Close(handle_); }
    SharedReaderLink(const SharedReaderLink&) = delete;
    SharedReaderLink& operator=(const SharedReaderLink&) = delete;

    bool WriteReport(const uint8_t* report, size_t length) override;
    bool ReadReport(uint8_t* report, size_t length) override;
    void DiscardQueued() override { reader_.Flush(handle_); }
    void Cancel() override { reader_.Cancel(handle_); }

    SharedReader::Handle Handle() const { return handle_; }

private:
    SharedReader& reader_;
    const SharedReader::Handle handle_;
};
