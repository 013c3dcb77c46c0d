// How the fakes of every process meet the shared reader server (the
// program sharedreader, tools/fakehid): one simulated reader served to every
// process, with the semantics of a HID device opened by several (see
// sim/shared_reader.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace shared_reader {

// The reader's interface path: every open of it is one handle of the reader.
// A handle's pipe carries reports both ways, one a message.
inline std::string DevicePath(const std::string& name) {
    return "\\\\.\\pipe\\veldorinsim-shared-" + name;
}

// Where tests and the fakes ask the server what the reader saw: one request
// a connection (CallNamedPipe), text in and text out.
//   received     the number of messages received, over every handle
//   message N    message N (from 0) as hex, or "" when there is none
//   violations   one line per message mixed from the reports of several handles
//   problems     what the CA download found wrong, one problem a line
//   handles      handles open now
//   connections  handles opened so far
//   quit         the server ends
inline std::string ControlPath(const std::string& name) {
    return DevicePath(name) + "-control";
}

// What only the HID class driver does for a handle travels on its pipe as a
// request message of kRequestSize bytes, which no report is as long as
// (shared readers have reports of 3 to 65 bytes): byte 0 the request, bytes
// 4 to 7 its argument (little-endian).
constexpr size_t kRequestSize = 128;
enum Request : uint8_t {
    // HidD_FlushQueue. Answered, once the handle's queue is empty, by a
    // message of kFlushedSize bytes after whatever was already under way.
    kFlushQueue = 'F',
    // HidD_SetNumInputBuffers, with the count; not answered.
    kSetInputBuffers = 'B',
};
constexpr size_t kFlushedSize = 1;

// The longest answer to a control request.
constexpr size_t kMaxControlAnswer = 256 * 1024;

}  // namespace shared_reader
