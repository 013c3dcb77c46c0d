// The fakes' side of the shared reader server (sim/win32/shared_reader_protocol.h):
// what it saw, asked over its control pipe, and the HID class driver's part
// for a handle of the shared reader, asked over the handle's own pipe.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The server's answer to a control request, without its final line break;
// nothing when the server does not answer.
std::optional<std::string> AskSharedReader(const std::string& name, const std::string& request);

// HidD_FlushQueue on a handle of the shared reader: asks the server to empty
// the handle's queue and reads up to its answer, dropping the reports that
// were already on their way. False when the handle failed.
bool FlushSharedHandle(HANDLE file, uint16_t reportLen);

// HidD_SetNumInputBuffers on a handle of the shared reader.
bool SetSharedInputBuffers(HANDLE file, ULONG count);
