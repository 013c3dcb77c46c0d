// The framework's exceptions. Every COM entry point is a barrier for them
// (win32/entry_barrier.h); the dispatch layer reports them to scripts as
// automation exceptions.
#pragma once

#include <new>

// Out of memory: std::bad_alloc, as the standard library throws it.
[[noreturn]] inline void AfxThrowMemoryException() {
    throw std::bad_alloc();
}
