// The framework's thread wake-up and registration helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/class_registration.h"
#include "framework/registry.h"
#include "framework/thread_wakeup.h"
#include "framework/typelib_registration.h"
#include "tests/win/ocx_client.h"
#include "win32/module_file_name.h"

namespace veldorinctl::test {
namespace {

struct Wakeup {
    Wakeup() {
        wakeup.emplace([this] { threads.push_back(::GetCurrentThreadId()); });
    }
    std::optional<CThreadWakeup> wakeup;
    std::vector<DWORD> threads;  // of every wake-up call
};

TEST(FrameworkWakeup, WakesTheOwnerWhenItPumpsAndCoalesces) {
    Wakeup wakeup;
    std::thread([&] {
        wakeup.wakeup->Wake();
        wakeup.wakeup->Wake();
    }).join();
    ::Sleep(20);
    EXPECT_TRUE(wakeup.threads.empty()) << "nothing is called on the waking thread";
    ASSERT_TRUE(PumpUntil([&] { return !wakeup.threads.empty(); }));
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(wakeup.threads, std::vector<DWORD>{::GetCurrentThreadId()}) << "two wake-ups before a pump are one";
    wakeup.wakeup->Wake();
    EXPECT_TRUE(PumpUntil([&] { return wakeup.threads.size() == 2; })) << "and a later one wakes again";
}

TEST(FrameworkWakeup, ClosingEndsTheWakeUps) {
    Wakeup wakeup;
    wakeup.wakeup->Wake();
    wakeup.wakeup->Close();
    wakeup.wakeup->Wake();
    PumpUntil([] { return false; }, 50);
    EXPECT_TRUE(wakeup.threads.empty());
}

TEST(FrameworkWakeup, WindowClassOutlivesEveryWakeupButNoMore) {
    auto first = std::make_unique<Wakeup>();
    Wakeup second;
    first.reset();
    second.wakeup->Wake();
    ASSERT_TRUE(PumpUntil([&] { return second.threads.size() == 1; }))
        << "the class stayed registered for the wakeup still alive";
    second.wakeup.reset();
    Wakeup third;  // registers the class afresh
    third.wakeup->Wake();
    EXPECT_TRUE(PumpUntil([&] { return third.threads.size() == 1; }));
}

// A class id and ProgID of the test's own, so no real entry is touched.
constexpr CLSID kTestClass = {0x51A1E3D0, 0x77C2, 0x4F0B, {0x93, 0x4E, 0x2B, 0x6C, 0x0D, 0x15, 0xA8, 0x42}};
#define TEST_CLASS_KEY "CLSID\\{51A1E3D0-77C2-4F0B-934E-2B6C0D15A842}"
const std::string kTestClassKey = TEST_CLASS_KEY;
constexpr char kTestProgId[] = "VELDORINCTL.RegistrationTest.1";
constexpr RegistryEntry kTestEntries[] = {
    {TEST_CLASS_KEY, "", "Test Class"},
    {TEST_CLASS_KEY "\\ToolboxBitmap32", "", "%MODULE%, 3"},
    {TEST_CLASS_KEY "\\MiscStatus\\1", "", "131473"},
    {TEST_CLASS_KEY "\\InprocServer32", "ThreadingModel", "Apartment"},
    {TEST_CLASS_KEY "\\InprocServer32", "", "%MODULE%"},
    {"VELDORINCTL.RegistrationTest.1\\CLSID", "", "{51A1E3D0-77C2-4F0B-934E-2B6C0D15A842}"},
};

class FrameworkRegistration : public ::testing::Test {
protected:
    void TearDown() override {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestClassKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestProgId);
    }
    static bool Exists(const std::string& key) { return RegistryKeyExists(HKEY_CLASSES_ROOT, key); }
    static std::optional<std::wstring> Text(const std::string& key, const wchar_t* name = nullptr) {
        return GetRegistryText(HKEY_CLASSES_ROOT, std::wstring(key.begin(), key.end()), name);
    }
    static HINSTANCE Self() { return ::GetModuleHandleW(nullptr); }
};

TEST_F(FrameworkRegistration, RegisteringReplacesValuesAndKeepsOtherSubkeys) {
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\InprocServer32", nullptr, "C:\\old.ocx"));
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\Extra", nullptr, "kept"));
    ASSERT_TRUE(AfxOleRegisterClass(Self(), kTestClass, kTestProgId, kTestEntries));
    EXPECT_EQ(Text(kTestClassKey + "\\InprocServer32"), ModuleFileName<wchar_t>(Self()));
    EXPECT_EQ(Text(kTestClassKey + "\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(Text(kTestClassKey + "\\Extra"), L"kept");
    EXPECT_EQ(Text(kTestClassKey), L"Test Class");
    EXPECT_EQ(Text(kTestClassKey + "\\ToolboxBitmap32"), ModuleFileName<wchar_t>(Self()) + L", 3");
    EXPECT_EQ(Text(std::string(kTestProgId) + "\\CLSID"), L"{51A1E3D0-77C2-4F0B-934E-2B6C0D15A842}");
}

// A non-volatile key cannot be made under a volatile one: the write of
// MiscStatus\1 fails after the class's first values were written.
TEST_F(FrameworkRegistration, FailedRegistrationLeavesNoHalfWrittenClass) {
    HKEY classKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, (kTestClassKey + "\\MiscStatus").c_str(), 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &classKey, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(classKey);
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestProgId, nullptr, "earlier"));

    EXPECT_FALSE(AfxOleRegisterClass(Self(), kTestClass, kTestProgId, kTestEntries));
    EXPECT_FALSE(Exists(kTestClassKey)) << "the class written so far is taken back";
    EXPECT_FALSE(Exists(kTestProgId));
}

TEST_F(FrameworkRegistration, UnregisteringRemovesClassAndProgIdOnce) {
    ASSERT_TRUE(AfxOleRegisterClass(Self(), kTestClass, kTestProgId, kTestEntries));
    ASSERT_TRUE(Exists(kTestProgId));
    EXPECT_TRUE(AfxOleUnregisterClass(kTestClass, kTestProgId));
    EXPECT_FALSE(Exists(kTestClassKey));
    EXPECT_FALSE(Exists(kTestProgId));
    EXPECT_TRUE(AfxOleUnregisterClass(kTestClass, kTestProgId)) << "absent keys count as removed";
}

TEST_F(FrameworkRegistration, SixteenBitServerKeepsItsEntries) {
    for (const char* subkey : {"\\InprocServer", "\\InprocServer32", "\\ToolboxBitmap32", "\\Control"}) {
        ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + subkey, nullptr, "x"));
    }
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestProgId, nullptr, "x"));
    EXPECT_TRUE(AfxOleUnregisterClass(kTestClass, kTestProgId));
    EXPECT_FALSE(Exists(kTestClassKey + "\\InprocServer32"));
    EXPECT_FALSE(Exists(kTestClassKey + "\\ToolboxBitmap32"));
    EXPECT_TRUE(Exists(kTestClassKey + "\\InprocServer"));
    EXPECT_TRUE(Exists(kTestClassKey + "\\Control"));
    EXPECT_TRUE(Exists(kTestProgId));
}

// The other architecture's registration of the same library.
const std::string kOtherPlatform = std::string(kTypeLibPlatform) == "win64" ? "win32" : "win64";

TEST(FrameworkTypeLibRegistration, OtherArchitecturesRegistrationSurvives) {
    Apartment apartment;
    LoadedOcx ocx;
    const std::string libraryKey = "TypeLib\\" + GuidToRegistryText(LIBID_VELDORINCTLLib);
    const std::string localeKey = libraryKey + "\\1.0\\0";
    const std::string own = localeKey + "\\" + kTypeLibPlatform;
    const std::string other = localeKey + "\\" + kOtherPlatform;
    ASSERT_TRUE(AfxOleRegisterTypeLib(ocx.Module(), LIBID_VELDORINCTLLib));
    EXPECT_FALSE(AfxOleRegisterTypeLib(ocx.Module(), DIID__DVELDORINCTL)) << "the module holds another library";
    ASSERT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, own));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, other)) << "registered under its own platform only";
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, other, nullptr, "C:\\other\\VELDORINCTL.OCX"));

    EXPECT_TRUE(AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, 1, 0, 0));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, own));
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, other, nullptr), "C:\\other\\VELDORINCTL.OCX");

    // Without the other part, the next unregistration takes everything:
    // the library's key and its interfaces' entries.
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CLASSES_ROOT, other));
    ASSERT_TRUE(AfxOleRegisterTypeLib(ocx.Module(), LIBID_VELDORINCTLLib));
    ASSERT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
    EXPECT_TRUE(AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, 1, 0, 0));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, libraryKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "Interface\\" + GuidToRegistryText(DIID__DVELDORINCTLEvents)));
    EXPECT_TRUE(AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, 1, 0, 0)) << "absent keys count as removed";
}

}  // namespace
}  // namespace veldorinctl::test
