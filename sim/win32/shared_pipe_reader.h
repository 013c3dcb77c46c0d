// A SharedReader served on named pipes to every process (the shared reader
// server's work, see shared_reader_protocol.h): each client connection to
// the reader's path is one open handle of the reader, with its own input
// queue, and a control pipe tells what the reader saw.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader_config.h"
#include "sim/shared_reader.h"
#include "sim/win32/pipe_report_link.h"
#include "win32/unique_resource.h"

class SharedPipeReader {
public:
    // Serves `behaviour` as the reader `name` with reports of `reportLen`
    // bytes (3 to 65).
    SharedPipeReader(std::string name, uint16_t reportLen, Behaviour behaviour);
    ~SharedPipeReader();  // unplugs and ends every connection
    SharedPipeReader(const SharedPipeReader&) = delete;
    SharedPipeReader& operator=(const SharedPipeReader&) = delete;

    // False when the reader's pipe could not be created.
    bool Listening() const { return listening_; }

    // Answers control requests until "quit", or until `stop` is signalled.
    void ServeControl(HANDLE stop);

private:
    struct Connection;
    static constexpr int kSpareInstances = 8;

    void Accept();
    void Serve(std::unique_ptr<PipeReportLink> link);
    void TakeInRequests(Connection& connection);
    void SendInput(Connection& connection);
    void DropEndedConnections();
    std::string Answer(const std::string& request) const;

    const std::string name_;
    const Behaviour behaviour_;
    SharedReader reader_;
    UniqueHandle stopAccepting_;
    bool listening_ = false;
    std::unique_ptr<PipeReportLink> spares_[kSpareInstances];  // the acceptor's
    std::mutex mutex_;                                         // guards connections_
    std::vector<std::unique_ptr<Connection>> connections_;
    std::atomic<size_t> accepted_{0};
    std::thread acceptor_;
};
