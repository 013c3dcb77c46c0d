// Self-registration as regsvr32 and containers see it: every registry entry
// after registering (twice), nothing of the classes after unregistering
// (twice), the categories left in place, and creation by ProgID through the
// registry with the type library behind name lookup.
#include <windows.h>

#include <comcat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "framework/registry.h"
#include "framework/typelib_registration.h"
#include "module/component_categories.h"
#include "resources/dispids.h"
#include "tests/win/ocx_client.h"

namespace veldorinctl::test {
namespace {

const std::string kControlKey = "CLSID\\" + GuidToRegistryText(CLSID_VELDORINCTL);
const std::string kPageKey = "CLSID\\" + GuidToRegistryText(CLSID_VELDORINCTLPropPage);
const std::string kLibraryKey = "TypeLib\\" + GuidToRegistryText(LIBID_VELDORINCTLLib);
constexpr char kProgId[] = "VELDORINCTL.VELDORINCTLCtrl.1";
constexpr char kScriptable[] = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
constexpr char kInitializable[] = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

std::optional<std::string> Value(const std::string& key, const char* name = nullptr) {
    return GetRegistryString(HKEY_CLASSES_ROOT, key, name);
}

bool Exists(const std::string& key) {
    return RegistryKeyExists(HKEY_CLASSES_ROOT, key);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string OcxPathA() {
    const std::wstring wide = BesideTestProgram(L"VELDORINCTL.OCX");
    return std::string(wide.begin(), wide.end());  // the build folder's path is ASCII
}

DWORD RunRegsvr32(const std::wstring& options, const std::wstring& ocx = BesideTestProgram(L"VELDORINCTL.OCX")) {
    std::wstring command = L"regsvr32.exe " + options + L" \"" + ocx + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "regsvr32 did not start: " << ::GetLastError();
        return ~0u;
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = ~0u;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

void ExpectCategoriesDefined() {
    EXPECT_EQ(Value(std::string("Component Categories\\") + kScriptable, "409"), "Controls that are safely scriptable");
    EXPECT_EQ(Value(std::string("Component Categories\\") + kInitializable, "409"),
              "Controls safely initializable from persistent data");
}

void ExpectRegistered() {
    const std::string path = OcxPathA();
    EXPECT_EQ(Value(kControlKey), "VELDORINCTL Control");
    EXPECT_EQ(Value(kControlKey + "\\ProgID"), kProgId);
    EXPECT_EQ(Lower(Value(kControlKey + "\\InprocServer32").value_or("")), Lower(path));
    EXPECT_EQ(Value(kControlKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Lower(Value(kControlKey + "\\ToolboxBitmap32").value_or("")), Lower(path + ", 1"));
    EXPECT_EQ(Value(kControlKey + "\\MiscStatus"), "0");
    EXPECT_EQ(Value(kControlKey + "\\MiscStatus\\1"), "131473");
    EXPECT_EQ(Value(kControlKey + "\\Control"), "");
    EXPECT_EQ(Value(kControlKey + "\\TypeLib"), GuidToRegistryText(LIBID_VELDORINCTLLib));
    EXPECT_EQ(Value(kControlKey + "\\Version"), "1.0");
    EXPECT_FALSE(Exists(kControlKey + "\\Insertable"));
    EXPECT_TRUE(Exists(kControlKey + "\\Implemented Categories\\" + kScriptable));
    EXPECT_TRUE(Exists(kControlKey + "\\Implemented Categories\\" + kInitializable));

    EXPECT_EQ(Value(kProgId), "VELDORINCTL Control");
    EXPECT_EQ(Value(std::string(kProgId) + "\\CLSID"), GuidToRegistryText(CLSID_VELDORINCTL));
    EXPECT_FALSE(Exists(std::string(kProgId) + "\\Insertable"));

    EXPECT_EQ(Value(kPageKey), "VELDORINCTL Property Page");
    EXPECT_EQ(Lower(Value(kPageKey + "\\InprocServer32").value_or("")), Lower(path));
    EXPECT_EQ(Value(kPageKey + "\\InprocServer32", "ThreadingModel"), std::nullopt);
    EXPECT_FALSE(Exists(kPageKey + "\\ProgID"));
    EXPECT_FALSE(Exists("VELDORINCTL.VELDORINCTLPropPage.1"));

    // The platform may write the library's path with a \\?\ prefix.
    const std::string library = Lower(Value(kLibraryKey + "\\1.0\\0\\" + kTypeLibPlatform).value_or(""));
    EXPECT_TRUE(library.size() >= path.size() &&
                library.compare(library.size() - path.size(), path.size(), Lower(path)) == 0)
        << library;
    EXPECT_TRUE(Exists("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
    EXPECT_TRUE(Exists("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTLEvents)));
    ExpectCategoriesDefined();
}

void ExpectUnregistered() {
    EXPECT_FALSE(Exists(kControlKey));
    EXPECT_FALSE(Exists(kPageKey));
    EXPECT_FALSE(Exists(kProgId));
    EXPECT_FALSE(Exists(kLibraryKey));
    EXPECT_FALSE(Exists("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
    EXPECT_FALSE(Exists("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTLEvents)));
}

TEST(OcxRegistration, Regsvr32RegistersAndUnregistersIdempotently) {
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    ExpectRegistered();
    ASSERT_EQ(RunRegsvr32(L"/s"), 0u);
    ExpectRegistered();

    ASSERT_EQ(RunRegsvr32(L"/u /s"), 0u);
    ExpectUnregistered();
    ExpectCategoriesDefined();
    EXPECT_EQ(RunRegsvr32(L"/u /s"), 0u) << "what is gone counts as removed";
    ExpectUnregistered();
}

// A non-volatile key cannot be made under a volatile one: the control's
// class fails half-way, after the type library and the page were written.
TEST(OcxRegistration, FailedRegistrationTakesEverythingBack) {
    HKEY blocker = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, (kControlKey + "\\MiscStatus").c_str(), 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &blocker, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(blocker);
    EXPECT_NE(RunRegsvr32(L"/s"), 0u);
    ExpectUnregistered();

    ASSERT_EQ(RunRegsvr32(L"/s"), 0u) << "nothing of the failed attempt is in the way";
    ExpectRegistered();
    ASSERT_EQ(RunRegsvr32(L"/u /s"), 0u);
}

// A folder whose name no ANSI code page in use here can hold (Georgian).
TEST(OcxRegistration, ModuleInAFolderBeyondTheAnsiCodePage) {
    const std::wstring folder = BesideTestProgram(L"ocx-\u10E5\u10D0\u10E0\u10D7\u10E3\u10DA\u10D8");
    const std::wstring ocx = folder + L"\\VELDORINCTL.OCX";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(BesideTestProgram(L"VELDORINCTL.OCX").c_str(), ocx.c_str(), FALSE));
    ASSERT_EQ(RunRegsvr32(L"/s", ocx), 0u);
    const std::wstring server = std::wstring(kControlKey.begin(), kControlKey.end()) + L"\\InprocServer32";
    EXPECT_EQ(GetRegistryText(HKEY_CLASSES_ROOT, server, nullptr), ocx);
    {
        Apartment apartment;
        ComPtr<IPersistStreamInit> control;
        EXPECT_EQ(::CoCreateInstance(CLSID_VELDORINCTL, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStreamInit,
                                     reinterpret_cast<void**>(control.GetAddressOf())),
                  S_OK)
            << "created from the registered path";
        if (control) {
            EXPECT_EQ(control->InitNew(), S_OK);
        }
    }
    EXPECT_EQ(RunRegsvr32(L"/u /s", ocx), 0u);
    ExpectUnregistered();
}

// Registration for one user: regsvr32 /n /i:user calls DllInstall only.
// Read straight from HKEY_CURRENT_USER\Software\Classes: not every platform
// shows the user's classes through HKEY_CLASSES_ROOT.
TEST(OcxRegistration, PerUserRegistrationStaysWithTheUser) {
    const std::string user = "Software\\Classes\\";
    const auto inUser = [&](const std::string& key) { return RegistryKeyExists(HKEY_CURRENT_USER, user + key); };
    ASSERT_EQ(RunRegsvr32(L"/s /n /i:user"), 0u);
    EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, user + kControlKey + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(
        Lower(GetRegistryString(HKEY_CURRENT_USER, user + kControlKey + "\\InprocServer32", nullptr).value_or("")),
        Lower(OcxPathA()));
    EXPECT_TRUE(inUser(kPageKey + "\\InprocServer32"));
    EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, user + kProgId + "\\CLSID", nullptr),
              GuidToRegistryText(CLSID_VELDORINCTL));
    EXPECT_TRUE(inUser(kLibraryKey + "\\1.0\\0\\" + kTypeLibPlatform));
    EXPECT_TRUE(inUser("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
    EXPECT_TRUE(inUser(kControlKey + "\\Implemented Categories\\" + kScriptable));
    EXPECT_TRUE(inUser(std::string("Component Categories\\") + kInitializable));
    EXPECT_FALSE(Exists(kControlKey)) << "the machine's classes are not touched";
    EXPECT_FALSE(Exists(kProgId));
    EXPECT_FALSE(Exists(kLibraryKey));

    EXPECT_NE(RunRegsvr32(L"/s /n /i:everyone"), 0u) << "an unknown scope is refused";
    ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:user"), 0u);
    EXPECT_FALSE(inUser(kControlKey));
    EXPECT_FALSE(inUser(kPageKey));
    EXPECT_FALSE(inUser(kProgId));
    EXPECT_FALSE(inUser(kLibraryKey));
    EXPECT_FALSE(inUser("Interface\\" + GuidToRegistryText(DIID__DVELDORINCTL)));
}

struct OcxRegistered : ::testing::Test {
    void SetUp() override { ASSERT_EQ(ocx.RegisterServer(), S_OK); }
    void TearDown() override { EXPECT_EQ(ocx.UnregisterServer(), S_OK); }

    Apartment apartment;
    LoadedOcx ocx;
};

TEST_F(OcxRegistered, ContainerCreatesTheControlByProgId) {
    CLSID clsid{};
    ASSERT_EQ(::CLSIDFromProgID(L"VELDORINCTL.VELDORINCTLCtrl.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VELDORINCTL);
    ComPtr<IDispatch> control;
    ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(control.GetAddressOf())),
              S_OK);
    ComPtr<IPersistStreamInit> persist;
    ASSERT_HRESULT_SUCCEEDED(control.As(&persist));
    ASSERT_EQ(persist->InitNew(), S_OK);
    UniqueVariant notDer = Text(L"AQID");
    EXPECT_TRUE(Call(control.Get(), DISPID_GETX509VALIDDATE, {&notDer})->IsNullString());

    // Type information comes from the registered library.
    UINT count = 0;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(control->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->guid, DIID__DVELDORINCTL);
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(control->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);

    ComPtr<IProvideClassInfo> classInfo;
    ASSERT_HRESULT_SUCCEEDED(control.As(&classInfo));
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->guid, CLSID_VELDORINCTL);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attributes);
}

TEST_F(OcxRegistered, LocaleLookupGoesThroughTheTypeLibrary) {
    ComPtr<IDispatch> control = CreateControl(ocx);
    ASSERT_TRUE(control);
    const LCID english = 0x409;
    EXPECT_EQ(IdOf(control.Get(), L"devcall", english), DISPID_DEVCALL);
    DISPID ids[2] = {};
    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"LoadCA"), const_cast<LPOLESTR>(L"b64CAData")};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, withParameter, 2, english, ids), S_OK)
        << "the type information knows parameter names";
    EXPECT_EQ(ids[0], 6);
    EXPECT_EQ(ids[1], 1);
    LPOLESTR doClick[] = {const_cast<LPOLESTR>(L"DoClick")};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, doClick, 1, english, ids), DISP_E_UNKNOWNNAME)
        << "DoClick is not in the dispatch interface's type information";
    EXPECT_EQ(Call(control.Get(), DISPID_DOCLICK)->hr, S_OK);

    // Without the library, the map answers whatever the locale.
    ASSERT_EQ(ocx.UnregisterServer(), S_OK);
    EXPECT_EQ(IdOf(control.Get(), L"DoClick", english), DISPID_DOCLICK);
    ComPtr<ITypeInfo> info;
    EXPECT_NE(control->GetTypeInfo(0, 0, &info), S_OK);
    EXPECT_EQ(info, nullptr);
    ASSERT_EQ(ocx.RegisterServer(), S_OK);
}

TEST(ComponentCategories, LongDescriptionIsCut) {
    Apartment apartment;
    constexpr CATID kTestCategory = {0x1B0C4A7E, 0x2F6D, 0x4D51, {0x9A, 0x3C, 0x51, 0x77, 0x0E, 0x62, 0xD8, 0x14}};
    std::wstring description;
    for (int i = 0; i < 200; ++i) description += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_EQ(RegisterComponentCategory(kTestCategory, description.c_str()), S_OK);

    // Read from the registry itself: the categories manager of some
    // platforms cannot hand back a description of the full 127 units.
    const std::string key = "Component Categories\\" + GuidToRegistryText(kTestCategory);
    const std::string expected(description.begin(), description.begin() + 127);
    EXPECT_EQ(Value(key, "409"), expected);

    ComPtr<ICatRegister> manager;
    ASSERT_EQ(::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                 reinterpret_cast<void**>(manager.GetAddressOf())),
              S_OK);
    CATID categories[] = {kTestCategory};
    EXPECT_HRESULT_SUCCEEDED(manager->UnRegisterCategories(1, categories));
}

}  // namespace
}  // namespace veldorinctl::test
