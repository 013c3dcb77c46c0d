// How much the control traces, as the TraceLevel policy value says.
#pragma once

#include <cstdint>
#include <string>

enum class TraceLevel : uint8_t {
    Off = 0,
    Errors = 1,  // errors and refusals
    Calls = 2,   // also every method call
    Bytes = 3,   // also the bytes exchanged with the reader
};

// What the trace needs of the policy. An empty folder is the default one.
struct TraceSettings {
    TraceLevel level = TraceLevel::Off;
    std::string folder;
};
