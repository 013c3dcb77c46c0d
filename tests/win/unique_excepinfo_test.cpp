// UniqueExcepInfo: a callee's record is cleared before each use, and its text
// reads as the callee left it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "win32/unique_excepinfo.h"

namespace {

// Fills a record as IDispatch::Invoke does when it reports an exception.
void FillLikeACallee(EXCEPINFO* info, const wchar_t* description) {
    info->wCode = 1001;
    info->bstrSource = ::SysAllocString(L"source");
    info->bstrDescription = ::SysAllocString(description);
}

TEST(UniqueExcepInfo, ReadsWhatTheCalleeLeft) {
    UniqueExcepInfo exception;
    FillLikeACallee(exception.put(), L"it failed");
    EXPECT_EQ(exception->wCode, 1001);
    EXPECT_EQ(std::wstring(exception.Description()), L"it failed");
}

TEST(UniqueExcepInfo, HandsOutAClearedRecordForEachCall) {
    UniqueExcepInfo exception;
    FillLikeACallee(exception.put(), L"first");
    EXCEPINFO* again = exception.put();
    EXPECT_EQ(again->wCode, 0);
    EXPECT_EQ(again->bstrSource, nullptr);
    EXPECT_EQ(again->bstrDescription, nullptr);
    EXPECT_EQ(std::wstring(exception.Description()), L"") << "no description reads as empty text";
}

}  // namespace
