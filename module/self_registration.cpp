#include "module/self_registration.h"

#include <olectl.h>

#include <cwctype>
#include <string>

#include "framework/module_state.h"
#include "framework/object_factory.h"
#include "framework/registry.h"
#include "framework/typelib_registration.h"
#include "framework/user_classes_root.h"
#include "module/component_categories.h"
#include "module/registry_table.h"
#include "resources/guids.h"

namespace {

using veldorinctl::registration::kControlCategories;

std::string Braced(const char* id) {
    return std::string("{") + id + "}";
}

// Through the platform's categories manager, as for the machine.
bool EnterControlInCategoriesByManager() {
    for (const auto& category : kControlCategories) {
        const std::wstring description = Widen(category.description);
        if (FAILED(RegisterComponentCategory(veldorinctl::guid_text::ParseText(category.id), description.c_str()))) {
            return false;
        }
    }
    for (const auto& category : kControlCategories) {
        if (FAILED(RegisterClassInCategory(CLSID_VELDORINCTL, veldorinctl::guid_text::ParseText(category.id)))) {
            return false;
        }
    }
    return true;
}

// The same keys written under HKEY_CLASSES_ROOT, which stands for the
// user's classes here: a categories manager may write to the machine's
// classes whatever HKEY_CLASSES_ROOT stands for (Wine's does).
bool EnterControlInCategoriesForUser() {
    const std::wstring classKey = L"CLSID\\" + Widen(GuidToRegistryText(CLSID_VELDORINCTL));
    for (const auto& category : kControlCategories) {
        const std::wstring id = Widen(Braced(category.id));
        if (!SetRegistryText(HKEY_CLASSES_ROOT, L"Component Categories\\" + id, L"409", Widen(category.description)) ||
            !CreateRegistryKey(HKEY_CLASSES_ROOT, classKey + L"\\Implemented Categories\\" + id)) {
            return false;
        }
    }
    return true;
}

bool EnterControlInCategories(RegistrationScope scope) {
    return scope == RegistrationScope::User ? EnterControlInCategoriesForUser() : EnterControlInCategoriesByManager();
}

bool RegisterTypeLibrary(RegistrationScope scope) {
    return scope == RegistrationScope::User ? AfxOleRegisterTypeLibForUser(AfxGetInstanceHandle(), LIBID_VELDORINCTLLib)
                                            : AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_VELDORINCTLLib);
}

HRESULT RegisterEverything(RegistrationScope scope) {
    if (!RegisterTypeLibrary(scope)) return SELFREG_E_TYPELIB;
    if (!COleObjectFactory::UpdateRegistryAll(TRUE)) return SELFREG_E_CLASS;
    if (!EnterControlInCategories(scope)) return SELFREG_E_CLASS;
    return S_OK;
}

std::wstring Lowercase(const wchar_t* text) {
    std::wstring lower = text ? text : L"";
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    return lower;
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope) {
    const HRESULT hr = RegisterEverything(scope);
    // All or nothing: a registration that failed half-way is taken back, so
    // no container finds a class that cannot work.
    if (FAILED(hr)) UnregisterServer();
    return hr;
}

HRESULT UnregisterServer() {
    // The classes go even when the type library cannot be removed.
    const bool typeLibRemoved =
        AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, kVeldorinctlTypeLibMajor, kVeldorinctlTypeLibMinor, 0);
    const bool classesRemoved = COleObjectFactory::UpdateRegistryAll(FALSE);
    if (!typeLibRemoved) return SELFREG_E_TYPELIB;
    return classesRemoved ? S_OK : SELFREG_E_CLASS;
}

HRESULT InstallServer(bool install, const wchar_t* commandLine) {
    const std::wstring scope = Lowercase(commandLine);
    if (scope.empty() || scope == L"machine") return install ? RegisterServer() : UnregisterServer();
    if (scope != L"user") return E_INVALIDARG;
    const ScopedUserClassesRoot userClasses;
    if (!userClasses.active()) return SELFREG_E_CLASS;
    return install ? RegisterServer(RegistrationScope::User) : UnregisterServer();
}
