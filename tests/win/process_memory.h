// The process's committed private memory, for tests that hold it flat.
// Under Wine PROCESS_MEMORY_COUNTERS_EX's PrivateUsage is always 0; the
// pagefile figure is the same count there and on Windows.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <cstddef>

namespace veldorinctl::test {

inline size_t CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PagefileUsage;
}

}  // namespace veldorinctl::test
