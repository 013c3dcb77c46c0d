// One simulated reader: its identity and report length as configured, the
// path it is listed under, and the pipe server behind that path.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
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

    bool Present() const;
    // True when it was present until now.
    bool Unplug();

    // See PipeReader::CatchUp.
    void CatchUp() const;

    std::vector<Bytes> Received() const;
    std::vector<std::string> Problems() const;
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
