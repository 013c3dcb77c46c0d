// Where a control's trace goes, and how code that traces uses it.
//
// The trace never changes a result and never fails a call: an event is
// built only when the sink wants its level, whatever building it throws is
// dropped, and a sink drops every failure to write.
#pragma once

#include "trace/trace_event.h"
#include "trace/trace_level.h"

class TraceSink {
public:
    explicit TraceSink(TraceLevel level) : level_(level) {}
    virtual ~TraceSink() = default;
    TraceSink(const TraceSink&) = delete;
    TraceSink& operator=(const TraceSink&) = delete;

    TraceLevel Level() const { return level_; }
    bool Wants(TraceLevel level) const { return level != TraceLevel::Off && level <= level_; }

    // Writes the event as one whole line; safe from any thread.
    virtual void Write(const TraceEvent& event) noexcept = 0;

private:
    const TraceLevel level_;
};

// Writes the event that `build` makes (a TraceEvent), when `sink` is there
// and wants `level`.
template <typename Build>
void Trace(TraceSink* sink, TraceLevel level, Build&& build) noexcept {
    if (!sink || !sink->Wants(level)) return;
    try {
        sink->Write(build());
    } catch (...) {
        // Out of memory while building the event: the event is lost, the
        // call goes on.
    }
}
