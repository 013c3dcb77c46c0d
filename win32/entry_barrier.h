// The exception barrier of every entry point called from C, COM or the
// Windows API: no C++ exception may cross into the caller, which would end
// the host process.
#pragma once

#include <windows.h>

#include <new>

// Runs `body` and returns its result. An exception that escapes it is caught
// here, and `failure(outOfMemory)` is returned in its place.
template <typename Result, typename Body, typename Failure>
Result EntryBarrier(Body&& body, Failure&& failure) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failure(true);
    } catch (...) {
        return failure(false);
    }
}

// A COM entry point: E_OUTOFMEMORY or E_UNEXPECTED for an escaping exception.
template <typename Body>
HRESULT ComEntry(Body&& body) noexcept {
    return EntryBarrier<HRESULT>(
        body, [](bool outOfMemory) -> HRESULT { return outOfMemory ? E_OUTOFMEMORY : E_UNEXPECTED; });
}

// A C-API entry point that reports failure by its result and the last error:
// for an escaping exception it sets `error` and returns `failure`.
template <typename Result, typename Body>
Result ApiEntry(Result failure, DWORD error, Body&& body) noexcept {
    return EntryBarrier<Result>(body, [&](bool) {
        ::SetLastError(error);
        return failure;
    });
}
