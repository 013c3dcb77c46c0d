// What the trace says of each script call: one event per call, written at
// level 1 when the call failed or was refused and at level 2 otherwise.
// Command and answer bytes appear only at level 3; below it an exchange
// shows its byte counts and the answer's last two bytes (its status word).
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "trace/trace_event.h"
#include "trace/trace_level.h"

// Why an exchange gave no answer.
enum class ExchangeFailure {
    None,
    Refused,     // the site lock refused the page
    BadCommand,  // not Base64, no bytes, or more than the buffer holds
    NoReader,    // no connection open
    QueueFull,   // DevCallAsync beyond the queue's bound
    Cancelled,   // its connection was closed before or while it ran
    TimedOut,    // not done within ExchangeTimeoutSeconds
    NoAnswer,    // the write or the read failed
};

const char* ExchangeFailureText(ExchangeFailure failure);

// One DevCall, or one DevCallAsync as its worker ran it.
struct ExchangeRecord {
    std::string_view method;
    uint32_t call = 0;   // DevCallAsync: the call's number on its control; 0 for DevCall
    int32_t handle = 0;  // the connection it went to; 0: none
    ExchangeFailure failure = ExchangeFailure::None;
    const uint8_t* command = nullptr;
    uint32_t commandLength = 0;
    const uint8_t* answer = nullptr;
    uint32_t answerLength = 0;
    std::chrono::milliseconds elapsed{0};
};

TraceLevel ExchangeTraceLevel(const ExchangeRecord& record);
// The event; the bytes themselves only when `withBytes` (level 3).
TraceEvent ExchangeEvent(const ExchangeRecord& record, bool withBytes);

// What a CA download's result code means, for its trace.
const char* CaResultText(int32_t result);
