// The framework's thread mailbox and registration helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/class_registration.h"
#include "framework/registry.h"
#include "framework/thread_mailbox.h"
#include "framework/typelib_registration.h"
#include "tests/win/ocx_client.h"
#include "win32/module_file_name.h"

namespace veldorinctl::test {
namespace {

struct Delivery {
    std::string text;
    DWORD thread;
};

struct Mailbox {
    Mailbox() {
        box.emplace([this] {
            while (auto text = box->Take()) received.push_back({*text, ::GetCurrentThreadId()});
        });
    }
    std::optional<CThreadMailbox> box;
    std::vector<Delivery> received;
};

TEST(FrameworkMailbox, TextWaitsForTheOwnerToPump) {
    Mailbox mailbox;
    std::thread([&] {
        mailbox.box->Post("one");
        mailbox.box->Post("two");
    }).join();
    ::Sleep(20);
    EXPECT_TRUE(mailbox.received.empty()) << "nothing is delivered on the posting thread";
    ASSERT_TRUE(PumpUntil([&] { return mailbox.received.size() >= 2; }));
    EXPECT_EQ(mailbox.received[0].text, "one");
    EXPECT_EQ(mailbox.received[1].text, "two");
    EXPECT_EQ(mailbox.received[0].thread, ::GetCurrentThreadId());
}

TEST(FrameworkMailbox, ClosingDropsQueuedAndLaterText) {
    Mailbox mailbox;
    mailbox.box->Post("queued");
    mailbox.box->Close();
    mailbox.box->Post("later");
    PumpUntil([] { return false; }, 50);
    EXPECT_TRUE(mailbox.received.empty());
}

TEST(FrameworkMailbox, WindowClassOutlivesEveryMailboxButNoMore) {
    auto first = std::make_unique<Mailbox>();
    Mailbox second;
    first.reset();
    second.box->Post("still here");
    ASSERT_TRUE(PumpUntil([&] { return second.received.size() == 1; }))
        << "the class stayed registered for the mailbox still alive";
    second.box.reset();
    Mailbox third;  // registers the class afresh
    third.box->Post("again");
    EXPECT_TRUE(PumpUntil([&] { return third.received.size() == 1; }));
}

// A class id and ProgID of the test's own, so no real entry is touched.
constexpr CLSID kTestClass = {0x51A1E3D0, 0x77C2, 0x4F0B, {0x93, 0x4E, 0x2B, 0x6C, 0x0D, 0x15, 0xA8, 0x42}};
const std::string kTestClassKey = "CLSID\\" + GuidToRegistryText(kTestClass);
constexpr char kTestProgId[] = "VELDORINCTL.RegistrationTest.1";

class FrameworkRegistration : public ::testing::Test {
protected:
    void TearDown() override {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestClassKey);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestProgId);
    }
    static bool Exists(const std::string& key) { return RegistryKeyExists(HKEY_CLASSES_ROOT, key); }
    static HINSTANCE Self() { return ::GetModuleHandleW(nullptr); }
};

TEST_F(FrameworkRegistration, RegisteringReplacesValuesAndKeepsOtherSubkeys) {
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\InprocServer32", nullptr, "C:\\old.ocx"));
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\Extra", nullptr, "kept"));
    ASSERT_TRUE(AfxOleRegisterControlClass(Self(), kTestClass, kTestProgId, 0xFFF0, 3, afxRegApartmentThreading,
                                           0x20191, kTestClass, 2, 5));
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\InprocServer32", nullptr),
              ModuleFileName<char>(Self()));
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\Extra", nullptr), "kept");
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey, nullptr), GuidToRegistryText(kTestClass))
        << "a missing type name string is stood in for by the class id";
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\Version", nullptr), "2.5");
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, kTestClassKey + "\\ToolboxBitmap32", nullptr),
              ModuleFileName<char>(Self()) + ", 3");
    EXPECT_FALSE(
        AfxOleRegisterControlClass(Self(), kTestClass, kTestProgId, 0xFFF0, 3, afxRegInsertable, 0, kTestClass, 1, 0))
        << "insertable registration is not offered";
}

TEST_F(FrameworkRegistration, UnregisteringRemovesClassAndProgIdOnce) {
    ASSERT_TRUE(AfxOleRegisterControlClass(Self(), kTestClass, kTestProgId, 0xFFF0, 1, afxRegApartmentThreading, 0,
                                           kTestClass, 1, 0));
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

TEST(FrameworkTypeLibRegistration, ThirtyTwoBitRegistrationSurvives) {
    Apartment apartment;
    LoadedOcx ocx;
    const std::string libraryKey = "TypeLib\\" + GuidToRegistryText(LIBID_VELDORINCTLLib);
    const std::string localeKey = libraryKey + "\\1.0\\0";
    ASSERT_TRUE(AfxOleRegisterTypeLib(ocx.Module(), LIBID_VELDORINCTLLib));
    EXPECT_FALSE(AfxOleRegisterTypeLib(ocx.Module(), DIID__DVELDORINCTL)) << "the module holds another library";
    ASSERT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, localeKey + "\\win64"));
    ASSERT_TRUE(SetRegistryString(HKEY_CLASSES_ROOT, localeKey + "\\win32", nullptr, "C:\\x86\\VELDORINCTL.OCX"));

    EXPECT_TRUE(AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, 1, 0, 0));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, localeKey + "\\win64"));
    EXPECT_EQ(GetRegistryString(HKEY_CLASSES_ROOT, localeKey + "\\win32", nullptr), "C:\\x86\\VELDORINCTL.OCX");

    // Without the 32-bit part, the next unregistration takes everything:
    // the library's key and its interfaces' entries.
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CLASSES_ROOT, localeKey + "\\win32"));
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
