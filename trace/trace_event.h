// One event of the trace and the line it is written as:
//
//   2025-06-01T08:15:42.137Z pid=4242 tid=17 control=3 DevCall handle=1 out=5 in=2 last=9000 ms=12
//
// A UTC timestamp to the millisecond, the process and thread ids, the
// control instance, then the event's name and its fields as key=value.
// A value with a space, a quote, an equals sign or a control character is
// quoted, with \" \\ and \xNN escapes, so that every event is one line.
#pragma once

#include <chrono>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TraceEvent {
public:
    explicit TraceEvent(std::string_view name);

    TraceEvent& Add(std::string_view key, std::string_view text);
    TraceEvent& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text ? text : "")); }
    TraceEvent& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
    TraceEvent& Add(std::string_view key, std::integral auto number) {
        return Add(key, std::string_view(std::to_string(number)));
    }
    TraceEvent& Add(std::string_view key, bool) = delete;  // say what it means instead
    // Bytes as upper-case hex, two digits each.
    TraceEvent& AddHex(std::string_view key, const uint8_t* data, size_t length);

    // "name key=value ...".
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// Who wrote an event, and when.
struct TraceStamp {
    std::chrono::system_clock::time_point time;
    uint32_t processId = 0;
    uint32_t threadId = 0;
    uint32_t control = 0;  // the control instance, counted from 1 in each process
};

// The whole line, ended by CR LF.
std::string TraceLine(const TraceStamp& stamp, const TraceEvent& event);
