#include "trace/rolling_trace_file.h"

std::string TraceFileName(uint32_t processId) {
    return "VELDORINCTL-" + std::to_string(processId) + ".log";
}

std::string EarlierTraceFileName(uint32_t processId) {
    return "VELDORINCTL-" + std::to_string(processId) + ".1.log";
}

RollingTraceFile::RollingTraceFile(TraceFiles& files, std::string path, std::string earlierPath, uint64_t cap)
    : files_(files), path_(std::move(path)), earlierPath_(std::move(earlierPath)), cap_(cap) {}

bool RollingTraceFile::Resting() const {
    return std::chrono::steady_clock::now() < restUntil_;
}

bool RollingTraceFile::Open() noexcept {
    uint64_t size = 0;
    file_ = files_.OpenForAppend(path_, size);
    if (!file_) {
        restUntil_ = std::chrono::steady_clock::now() + kRetryAfter;
        return false;
    }
    size_ = size;
    return true;
}

bool RollingTraceFile::RollOver() noexcept {
    file_.reset();  // closed first: an open file cannot be renamed everywhere
    if (!files_.Replace(path_, earlierPath_)) {
        // Writing on would pass the cap: the lines are dropped until the
        // earlier file can be replaced.
        restUntil_ = std::chrono::steady_clock::now() + kRetryAfter;
        return false;
    }
    return Open();
}

bool RollingTraceFile::Write(std::string_view line) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_ && (Resting() || !Open())) return false;
    if (size_ > 0 && size_ + line.size() > cap_ && !RollOver()) return false;
    if (!file_->Append(line)) return false;
    size_ += line.size();
    return true;
}
