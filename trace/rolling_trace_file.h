// The trace file of one process: lines appended whole, the file capped, and
// one earlier file kept. The platform provides the file operations.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// One trace file, open for appending.
class TraceFile {
public:
    virtual ~TraceFile() = default;
    // Appends `bytes` in one write, so that a line is never split; false
    // when it was not written whole.
    virtual bool Append(std::string_view bytes) noexcept = 0;
};

// The platform's file operations on the trace's folder. Paths are UTF-8.
class TraceFiles {
public:
    virtual ~TraceFiles() = default;
    // Opens `path` for appending, creating it and its folder when missing,
    // and tells its size; null when it cannot.
    virtual std::unique_ptr<TraceFile> OpenForAppend(const std::string& path, uint64_t& size) noexcept = 0;
    // Renames `from` to `to`, replacing `to`; false when it cannot.
    virtual bool Replace(const std::string& from, const std::string& to) noexcept = 0;
};

// "VELDORINCTL-<pid>.log" and the earlier one, "VELDORINCTL-<pid>.1.log".
std::string TraceFileName(uint32_t processId);
std::string EarlierTraceFileName(uint32_t processId);

class RollingTraceFile {
public:
    static constexpr uint64_t kDefaultCap = 1024 * 1024;
    // How long a file that could not be opened or rolled over is left alone.
    static constexpr std::chrono::seconds kRetryAfter{5};

    RollingTraceFile(TraceFiles& files, std::string path, std::string earlierPath, uint64_t cap = kDefaultCap);

    // Appends one line. When the line would take the file past the cap, the
    // file first becomes the earlier one (replacing the one before) and a
    // new file begins. False when the line was dropped; every failure is
    // dropped this way. Safe from any thread: lines never interleave.
    bool Write(std::string_view line) noexcept;

private:
    bool Open() noexcept;
    bool RollOver() noexcept;
    bool Resting() const;

    TraceFiles& files_;
    const std::string path_;
    const std::string earlierPath_;
    const uint64_t cap_;
    std::mutex mutex_;  // guards what follows
    std::unique_ptr<TraceFile> file_;
    uint64_t size_ = 0;
    std::chrono::steady_clock::time_point restUntil_{};
};
