#include "control/call_trace.h"

#include "device/download_ca.h"

const char* ExchangeFailureText(ExchangeFailure failure) {
    switch (failure) {
        case ExchangeFailure::None:
            return "";
        case ExchangeFailure::Refused:
            return "refused: the site lock refused the page";
        case ExchangeFailure::BadCommand:
            return "no command: not Base64, no bytes, or more than 4096 bytes";
        case ExchangeFailure::NoReader:
            return "no reader open";
        case ExchangeFailure::QueueFull:
            return "not sent: 1024 calls outstanding";
        case ExchangeFailure::Cancelled:
            return "cancelled: its connection was closed";
        case ExchangeFailure::TimedOut:
            return "timed out (ExchangeTimeoutSeconds)";
        case ExchangeFailure::NoAnswer:
            return "no answer: the write or the read failed";
    }
    return "";
}

TraceLevel ExchangeTraceLevel(const ExchangeRecord& record) {
    return record.failure == ExchangeFailure::None ? TraceLevel::Calls : TraceLevel::Errors;
}

TraceEvent ExchangeEvent(const ExchangeRecord& record, bool withBytes) {
    TraceEvent event(record.method);
    if (record.call != 0) event.Add("call", record.call);
    event.Add("handle", record.handle).Add("out", record.commandLength).Add("in", record.answerLength);
    if (record.answerLength > 0) {
        const uint32_t last = record.answerLength < 2 ? record.answerLength : 2;
        event.AddHex("last", record.answer + record.answerLength - last, last);
    }
    event.Add("ms", record.elapsed.count());
    if (record.failure != ExchangeFailure::None) event.Add("failure", ExchangeFailureText(record.failure));
    if (withBytes) {
        event.AddHex("command", record.command, record.commandLength);
        event.AddHex("answer", record.answer, record.answerLength);
    }
    return event;
}

const char* CaResultText(int32_t result) {
    switch (result) {
        case kCaLoaded:
            return "loaded";
        case kCaRefused:
            return "the reader refused the certificate";
        case kCaBadVariant:
            return "the variant is neither 1 nor 2";
        case kCaSendFailed:
            return "not sent: no reader, no certificate, or a block could not be written";
        case kCaReceiveFailed:
            return "an answer did not arrive (or not in time)";
        case kCaBadAnswer:
            return "an answer was not two bytes, or an earlier block was refused";
    }
    return "unknown result";
}
