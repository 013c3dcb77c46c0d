// The trace's file operations with POSIX calls, for the native tests and
// benchmarks.
#pragma once

#include "trace/rolling_trace_file.h"

class PosixTraceFiles final : public TraceFiles {
public:
    std::unique_ptr<TraceFile> OpenForAppend(const std::string& path, uint64_t& size) noexcept override;
    bool Replace(const std::string& from, const std::string& to) noexcept override;
};
