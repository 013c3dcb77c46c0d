// How long a Win32 wait may last to end by a deadline.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "device/report_link.h"

// INFINITE without a deadline, 0 once it passed, else the time left rounded
// up to a millisecond (so a wait never ends just before the deadline).
inline DWORD MillisecondsUntil(ReportDeadline deadline) {
    if (!deadline) return INFINITE;
    const auto left = *deadline - std::chrono::steady_clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::clamp<long long>(ms, 0, INFINITE - 1));
}
