// The trace's file operations with Win32 calls: a file opened for appending
// only, so that each WriteFile lands whole at its end, and shared for
// reading and deleting, so that support can read it while it is written.
#pragma once

#include "trace/rolling_trace_file.h"

class Win32TraceFiles final : public TraceFiles {
public:
    std::unique_ptr<TraceFile> OpenForAppend(const std::string& path, uint64_t& size) noexcept override;
    bool Replace(const std::string& from, const std::string& to) noexcept override;
};
