// The code-download INF that goes into VELDORINCTL.cab, read back through
// the system's SetupAPI as the browser's code download reads it: the values
// must be the build's own version and class id.
#include <gtest/gtest.h>
#include <objbase.h>
#include <setupapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "resources/guids.h"
#include "version.h"

namespace {

struct InfCloser {
    void operator()(HINF inf) const { ::SetupCloseInfFile(inf); }
};
using UniqueInf = std::unique_ptr<void, InfCloser>;

// The INF the build wrote, named by the test's environment.
UniqueInf OpenBuiltInf() {
    const char* path = std::getenv("VELDORINCTL_INF");
    if (!path) return nullptr;
    UINT errorLine = 0;
    HINF inf = ::SetupOpenInfFileA(path, nullptr, INF_STYLE_WIN4, &errorLine);
    return UniqueInf(inf == INVALID_HANDLE_VALUE ? nullptr : inf);
}

// The text after "key=" (all its fields, as written), or "(missing)".
std::wstring Value(HINF inf, const wchar_t* section, const wchar_t* key) {
    INFCONTEXT line;
    if (!::SetupFindFirstLineW(inf, section, key, &line)) return L"(missing)";
    wchar_t text[512];
    if (!::SetupGetLineTextW(&line, nullptr, nullptr, nullptr, text, ARRAYSIZE(text), nullptr)) {
        return L"(unreadable)";
    }
    return text;
}

// Every "key=value" line of a section, in order.
std::vector<std::wstring> Lines(HINF inf, const wchar_t* section) {
    std::vector<std::wstring> lines;
    INFCONTEXT line;
    for (BOOL found = ::SetupFindFirstLineW(inf, section, nullptr, &line); found;
         found = ::SetupFindNextLine(&line, &line)) {
        wchar_t key[256], value[256];
        if (!::SetupGetStringFieldW(&line, 0, key, ARRAYSIZE(key), nullptr)) key[0] = L'\0';
        if (!::SetupGetStringFieldW(&line, 1, value, ARRAYSIZE(value), nullptr)) value[0] = L'\0';
        lines.push_back(std::wstring(key) + L"=" + value);
    }
    return lines;
}

std::wstring ClassIdText() {
    wchar_t text[64];
    ::StringFromGUID2(CLSID_VELDORINCTL, text, ARRAYSIZE(text));
    return text;
}

std::wstring VersionWithCommas() {
    return std::to_wstring(VELDORINCTL_VERSION_MAJOR) + L"," + std::to_wstring(VELDORINCTL_VERSION_MINOR) + L"," +
           std::to_wstring(VELDORINCTL_VERSION_PATCH) + L"," + std::to_wstring(VELDORINCTL_VERSION_TWEAK);
}

TEST(CodeDownloadInf, OpensAsAnAdvancedInf) {
    UniqueInf inf = OpenBuiltInf();
    ASSERT_TRUE(inf) << "SetupOpenInfFile failed on " << std::getenv("VELDORINCTL_INF");
    EXPECT_EQ(Value(inf.get(), L"Version", L"Signature"), L"$CHICAGO$");
    EXPECT_EQ(Value(inf.get(), L"Version", L"AdvancedINF"), L"2.0");
}

TEST(CodeDownloadInf, NamesOneModulePerArchitecture) {
    UniqueInf inf = OpenBuiltInf();
    ASSERT_TRUE(inf);
    EXPECT_EQ(Lines(inf.get(), L"Add.Code"), (std::vector<std::wstring>{L"VELDORINCTL_x64.OCX=VELDORINCTL_x64.OCX",
                                                                        L"VELDORINCTL_x86.OCX=VELDORINCTL_x86.OCX"}));
}

TEST(CodeDownloadInf, EachModuleSectionCarriesTheBuildsVersionAndClassId) {
    UniqueInf inf = OpenBuiltInf();
    ASSERT_TRUE(inf);
    for (const wchar_t* section : {L"VELDORINCTL_x64.OCX", L"VELDORINCTL_x86.OCX"}) {
        SCOPED_TRACE(section);
        EXPECT_EQ(Value(inf.get(), section, L"clsid"), ClassIdText());
        EXPECT_EQ(Value(inf.get(), section, L"FileVersion"), VersionWithCommas());
        EXPECT_EQ(Value(inf.get(), section, L"RegisterServer"), L"yes");
    }
}

TEST(CodeDownloadInf, EachArchitectureTakesOnlyItsOwnModule) {
    UniqueInf inf = OpenBuiltInf();
    ASSERT_TRUE(inf);
    EXPECT_EQ(Value(inf.get(), L"VELDORINCTL_x64.OCX", L"file-win32-amd64"), L"thiscab");
    EXPECT_EQ(Value(inf.get(), L"VELDORINCTL_x64.OCX", L"file-win32-x86"), L"ignore");
    EXPECT_EQ(Value(inf.get(), L"VELDORINCTL_x86.OCX", L"file-win32-x86"), L"thiscab");
    EXPECT_EQ(Value(inf.get(), L"VELDORINCTL_x86.OCX", L"file-win32-amd64"), L"ignore");
}

}  // namespace
