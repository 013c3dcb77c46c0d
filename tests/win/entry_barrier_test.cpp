// The exception barrier: what an escaping exception becomes for a COM entry
// point and for a C-API export, and that a body's own result passes through.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "win32/entry_barrier.h"

namespace {

TEST(ComEntry, PassesTheBodysResultThrough) {
    EXPECT_EQ(ComEntry([] { return S_FALSE; }), S_FALSE);
}

TEST(ComEntry, TurnsEscapingExceptionsIntoHresults) {
    EXPECT_EQ(ComEntry([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(ComEntry([]() -> HRESULT { throw std::runtime_error("x"); }), E_UNEXPECTED);
    EXPECT_EQ(ComEntry([]() -> HRESULT { throw 1; }), E_UNEXPECTED);
}

TEST(ApiEntry, ReportsAnEscapingExceptionByResultAndLastError) {
    ::SetLastError(0);
    EXPECT_EQ(ApiEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, []() -> BOOL { throw std::bad_alloc(); }), FALSE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(ApiEntry, LeavesTheLastErrorToABodyThatReturns) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY, [] { return 5; }), 5);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
