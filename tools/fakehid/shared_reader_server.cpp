// sharedreader: serves one simulated reader to every process, as a HID
// device shared by several programs is (see sim/shared_reader.h). The fakes
// of each process list it with a configuration line "VID PID LEN shared
// NAME"; tests start the server and ask it what the reader saw.
//
//   sharedreader NAME "VID PID LEN BEHAVIOUR" [PARENT_PID]
//
// It prints "ready" once the reader can be opened, and ends on the control
// request "quit", or when the process PARENT_PID ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/hid_device.h"
#include "sim/win32/shared_pipe_reader.h"
#include "win32/unique_resource.h"

int main(int count, char** arguments) {
    if (count < 3 || count > 4) {
        std::fputs("usage: sharedreader NAME \"VID PID LEN BEHAVIOUR\" [PARENT_PID]\n", stderr);
        return 2;
    }
    const ParsedLine parsed = ParseReaderLine(arguments[2]);
    if (!parsed.reader || !parsed.reader->behaviour || !IsReaderReportLength(parsed.reader->reportLen)) {
        std::fprintf(stderr, "sharedreader: not a reader to share: %s %s\n", arguments[2], parsed.error.c_str());
        return 2;
    }
    // Without a parent to outlive, it waits for "quit" alone.
    UniqueHandle parentGone;
    if (count == 4) {
        parentGone.reset(::OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(arguments[3], nullptr, 10)));
        if (!parentGone) {
            std::fputs("sharedreader: no such parent process\n", stderr);
            return 2;
        }
    }
    UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SharedPipeReader reader(arguments[1], parsed.reader->reportLen, parsed.reader->behaviour());
    if (!reader.Listening()) {
        std::fprintf(stderr, "sharedreader: cannot serve %s\n", arguments[1]);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    reader.ServeControl(parentGone ? parentGone.get() : never.get());
    return 0;
}
