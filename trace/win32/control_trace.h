// One control's trace: the level and folder of the policy it was made
// under, its instance number, and each event stamped with the time and the
// writing thread.
#pragma once

#include <cstdint>
#include <string>

#include "trace/trace_sink.h"

class ControlTrace final : public TraceSink {
public:
    // Numbers the control: 1 for the first of the process, and so on.
    explicit ControlTrace(const TraceSettings& settings);

    uint32_t Instance() const { return instance_; }
    // Where the lines go (UTF-8); empty when the trace is off.
    const std::string& Folder() const { return folder_; }

    void Write(const TraceEvent& event) noexcept override;

private:
    const uint32_t instance_;
    std::string folder_;
};
