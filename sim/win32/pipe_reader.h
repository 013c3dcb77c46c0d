// A simulated reader reachable at a named-pipe path. It takes any number of
// clients, one after another or at once, and serves each connection with a
// ReaderSimulator of its own: a client that opens the path after another
// closed it starts afresh and never receives an answer meant for the one
// before, as a new handle to a HID device never sees reports that arrived
// for an earlier handle.
//
// A reader that unplugs (by Unplug(), or by its responder in the middle of
// an answer) is gone for good: every connection fails and the path can no
// longer be opened.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader_simulator.h"
#include "sim/win32/pipe_report_link.h"
#include "win32/unique_resource.h"

class PipeReader {
public:
    // Makes the responder for one new connection.
    using ResponderFactory = std::function<Responder()>;

    PipeReader(std::string path, uint16_t reportLen, ResponderFactory makeResponder);
    ~PipeReader();  // unplugs
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    // False when the pipe could not be created: then nothing can open it.
    bool Listening() const { return listening_; }
    const std::string& Path() const { return path_; }

    // Stops taking clients and fails every connection. Idempotent.
    void Unplug();
    bool Present() const;

    // Every message received, over all connections, oldest connection first.
    std::vector<Bytes> Received() const;
    // Waits until the reader has taken up every client that opened it so
    // far, so that idle instances wait for the next ones again. A client
    // that opens the path more often than the reader's thread gets to run
    // would otherwise find every instance taken (ERROR_PIPE_BUSY), which a
    // HID interface never answers. A client that already closed the path
    // again is not waited for: call this while the newest client still has
    // it open. False when that took over `timeoutMs`.
    bool CatchUp(int timeoutMs) const;

    // Clients whose handle is still open.
    size_t OpenConnections() const;
    // Clients accepted so far.
    size_t Connections() const;

private:
    struct Connection;
    // How many idle instances wait for clients: as many clients may open the
    // path before the reader's thread runs again.
    static constexpr int kSpareInstances = 4;

    void Accept();
    bool TakeClient(int spare);
    bool AllSparesIdle() const;
    void Serve(std::unique_ptr<PipeReportLink> link);
    void DropEndedConnections();
    void EndConnections();

    const std::string path_;
    const uint16_t reportLen_;
    const ResponderFactory makeResponder_;
    UniqueHandle unplugged_;  // set once the reader is gone; outlives the connections
    bool listening_ = false;

    mutable std::mutex mutex_;
    std::vector<Bytes> earlierMessages_;  // of connections already dropped
    std::vector<std::unique_ptr<Connection>> connections_;
    size_t accepted_ = 0;

    mutable std::mutex spareMutex_;  // taken before mutex_ where both are held
    mutable std::condition_variable clientTaken_;
    std::unique_ptr<PipeReportLink> spares_[kSpareInstances];  // replaced by the acceptor only
    std::thread acceptor_;
    std::once_flag acceptorJoined_;
};
