#include "framework/typelib_registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "framework/registry.h"
#include "win32/lent.h"
#include "win32/module_file_name.h"

using Microsoft::WRL::ComPtr;

// In oleaut32 (and its MinGW import library) since Windows Vista, but not
// declared by MinGW's oleauto.h.
extern "C" DECLSPEC_IMPORT HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath,
                                                                 OLECHAR* helpDir);

namespace {

bool HasId(ITypeLib* library, REFGUID tlid) {
    Lent<ITypeLib, TLIBATTR> attributes(library, &ITypeLib::ReleaseTLibAttr);
    return SUCCEEDED(library->GetLibAttr(attributes.put())) && IsEqualGUID(attributes->guid, tlid);
}

// Locale subkeys of a version are hexadecimal numbers; FLAGS and HELPDIR
// are not.
bool IsLocaleKey(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Removes this module's registrations, those under its own platform key;
// true in `anyOtherLeft` when some version and locale still hold another
// platform's.
bool RemoveOwnRegistrations(const std::string& libraryKey, bool& anyOtherLeft) {
    bool removed = true;
    anyOtherLeft = false;
    for (const std::string& version : RegistrySubkeys(HKEY_CLASSES_ROOT, libraryKey)) {
        const std::string versionKey = libraryKey + "\\" + version;
        for (const std::string& locale : RegistrySubkeys(HKEY_CLASSES_ROOT, versionKey)) {
            if (!IsLocaleKey(locale)) continue;
            const std::string localeKey = versionKey + "\\" + locale;
            removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, localeKey + "\\" + kTypeLibPlatform) && removed;
            if (!RegistrySubkeys(HKEY_CLASSES_ROOT, localeKey).empty()) anyOtherLeft = true;
        }
    }
    return removed;
}

// Removes the Interface entries that name this library as theirs.
bool RemoveInterfaceEntries(ITypeLib* library, REFGUID tlid) {
    const std::string libraryId = GuidToRegistryText(tlid);
    bool removed = true;
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH)) {
            continue;
        }
        ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, info.GetAddressOf()))) continue;
        Lent<ITypeInfo, TYPEATTR> attributes(info.Get(), &ITypeInfo::ReleaseTypeAttr);
        if (FAILED(info->GetTypeAttr(attributes.put()))) continue;
        const std::string interfaceKey = "Interface\\" + GuidToRegistryText(attributes->guid);
        const auto owner = GetRegistryString(HKEY_CLASSES_ROOT, interfaceKey + "\\TypeLib", nullptr);
        if (owner && SameText(*owner, libraryId)) {
            removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, interfaceKey) && removed;
        }
    }
    return removed;
}

}  // namespace

namespace {

using RegisterFunction = HRESULT(STDAPICALLTYPE*)(ITypeLib*, OLECHAR*, OLECHAR*);

BOOL RegisterModuleTypeLib(RegisterFunction registerLibrary, HINSTANCE instance, REFGUID tlid, LPCWSTR fileName,
                           LPCWSTR helpDir) {
    return RegistrationEntry([&]() -> BOOL {
        std::wstring path = ModuleFileName<wchar_t>(instance);
        if (path.empty()) return FALSE;
        if (fileName) path = path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
        ComPtr<ITypeLib> library;
        if (FAILED(::LoadTypeLib(path.c_str(), library.GetAddressOf())) || !HasId(library.Get(), tlid)) return FALSE;
        std::wstring directory = helpDir ? helpDir : L"";
        return SUCCEEDED(registerLibrary(library.Get(), path.data(), helpDir ? directory.data() : nullptr)) ? TRUE
                                                                                                            : FALSE;
    });
}

}  // namespace

BOOL AfxOleRegisterTypeLib(HINSTANCE instance, REFGUID tlid, LPCWSTR fileName, LPCWSTR helpDir) {
    return RegisterModuleTypeLib(&::RegisterTypeLib, instance, tlid, fileName, helpDir);
}

BOOL AfxOleRegisterTypeLibForUser(HINSTANCE instance, REFGUID tlid) {
    return RegisterModuleTypeLib(&::RegisterTypeLibForUser, instance, tlid, nullptr, nullptr);
}

BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD verMajor, WORD verMinor, LCID lcid) {
    return RegistrationEntry([&]() -> BOOL {
        // Loaded first: once its keys are gone, the library cannot name its
        // interfaces any more.
        ComPtr<ITypeLib> library;
        if (FAILED(::LoadRegTypeLib(tlid, verMajor, verMinor, lcid, library.GetAddressOf()))) library.Reset();

        const std::string libraryKey = "TypeLib\\" + GuidToRegistryText(tlid);
        bool anyOtherLeft = false;
        bool removed = RemoveOwnRegistrations(libraryKey, anyOtherLeft);
        if (!anyOtherLeft) removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, libraryKey) && removed;

        ComPtr<ITypeLib> stillThere;
        if (library && FAILED(::LoadRegTypeLib(tlid, verMajor, verMinor, lcid, stillThere.GetAddressOf()))) {
            removed = RemoveInterfaceEntries(library.Get(), tlid) && removed;
        }
        return removed ? TRUE : FALSE;
    });
}
