#include "trace/win32/control_trace.h"

#include <windows.h>

#include <atomic>

#include "trace/win32/process_trace.h"

namespace {

uint32_t NextInstance() {
    static std::atomic<uint32_t> count{0};
    return ++count;
}

}  // namespace

ControlTrace::ControlTrace(const TraceSettings& settings) : TraceSink(settings.level), instance_(NextInstance()) {
    if (settings.level == TraceLevel::Off) return;
    folder_ = settings.folder.empty() ? DefaultTraceFolder() : settings.folder;
    while (folder_.size() > 3 && (folder_.back() == '\\' || folder_.back() == '/')) folder_.pop_back();
}

void ControlTrace::Write(const TraceEvent& event) noexcept {
    try {
        const TraceStamp stamp{std::chrono::system_clock::now(), ::GetCurrentProcessId(), ::GetCurrentThreadId(),
                               instance_};
        WriteProcessTrace(folder_, TraceLine(stamp, event));
    } catch (...) {
        // Out of memory: the line is lost.
    }
}
