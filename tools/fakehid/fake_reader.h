// One simulated reader: its identity and report length as configured, the
// path it is listed under, and the pipe server behind that path: in this
// process, or, for a shared reader, the shared reader server every process
// meets (whom the findings are asked of).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/win32/pipe_reader.h"
#include "sim/reader_config.h"

class FakeReader {
public:
    // Starts serving `path`, unless the reader is one that cannot be opened.
    FakeReader(int id, ReaderSpec description, std::string path);
    ~FakeReader();
    FakeReader(const FakeReader&) = delete;
    FakeReader& operator=(const FakeReader&) = delete;

    int Id() const { return id_; }
    const ReaderSpec& Description() const { return spec_; }
    const std::string& DevicePath() const { return path_; }

    bool Shared() const { return !spec_.sharedName.empty(); }

    bool Present() const;
    // True when it was present until now. A shared reader leaves this
    // process's list only: the server serves on.
    bool Unplug();

    // See PipeReader::CatchUp; for a shared reader, waits for the server to
    // have an instance ready.
    void CatchUp() const;

    size_t ReceivedCount() const;
    std::optional<Bytes> ReceivedMessage(size_t index) const;
    std::vector<std::string> Problems() const;
    // Messages mixed from the reports of several handles (a shared reader's
    // only: a reader of this process has one handle a connection).
    std::vector<std::string> Violations() const;
    // Handles of this process (none are counted for a shared reader, whose
    // server sees the handles of every process).
    size_t OpenHandles() const;
    size_t Connections() const;

    void SetInputBuffers(ULONG count) { inputBuffers_ = count; }
    ULONG InputBuffers() const { return inputBuffers_; }

private:
    Responder NewConnection();

    const int id_;
    const ReaderSpec spec_;
    const std::string path_;
    std::atomic<bool> unplugged_{false};
    std::atomic<ULONG> inputBuffers_{0};
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<sim::CaReader>> caReaders_;  // of every connection
    std::unique_ptr<PipeReader> pipe_;                       // null when it cannot be opened
};
