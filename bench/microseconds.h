// The Windows benchmarks' clock: the performance counter, in microseconds.
#pragma once

#include <windows.h>

inline double Microseconds() {
    static const double ticksPerMicrosecond = [] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMicrosecond;
}
