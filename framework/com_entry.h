// The exception barrier of every COM entry point: no C++ exception may cross
// into the caller, which would end the host process.
#pragma once

#include <windows.h>

#include <new>

template <class Body>
HRESULT ComEntry(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
