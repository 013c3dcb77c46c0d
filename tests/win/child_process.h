// A program of the tests' folder run as a process of its own (a page, a
// server), its standard output kept in a file for the test to read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win32/unique_resource.h"

namespace veldorinctl::test {

class ChildProcess {
public:
    // Starts `program` (a file beside the test program) with `arguments`,
    // each quoted. Check Started().
    ChildProcess(const wchar_t* program, const std::vector<std::string>& arguments);
    ~ChildProcess();  // ends it if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    // Its exit code once it ended within `timeoutMs`, else nothing.
    std::optional<DWORD> Wait(DWORD timeoutMs);
    // Ends it at once, as a crash or the task manager does.
    void Kill();
    // What it printed so far.
    std::string Output() const;

private:
    std::wstring outputPath_;
    UniqueHandle process_;
};

// A named event of the session (Local\NAME), reset, for children to signal.
class SessionEvent {
public:
    explicit SessionEvent(const std::string& name);
    bool Wait(DWORD timeoutMs) const { return ::WaitForSingleObject(event_.get(), timeoutMs) == WAIT_OBJECT_0; }
    void Set() const { ::SetEvent(event_.get()); }

private:
    UniqueHandle event_;
};

}  // namespace veldorinctl::test
