#include "framework/class_registration.h"

#include <string>

#include "framework/registry.h"
#include "win32/unique_reg_key.h"
#include "win32/module_file_name.h"

namespace {

std::string ClassKey(REFCLSID clsid) {
    return "CLSID\\" + GuidToRegistryText(clsid);
}

std::wstring WithModulePath(const char* data, const std::wstring& modulePath) {
    std::wstring text = Widen(data);
    const std::wstring placeholder = Widen(kModulePathPlaceholder);
    for (size_t at = text.find(placeholder); at != std::wstring::npos;
         at = text.find(placeholder, at + modulePath.size())) {
        text.replace(at, placeholder.size(), modulePath);
    }
    return text;
}

bool WriteEntries(std::span<const RegistryEntry> entries, const std::wstring& modulePath) {
    for (const RegistryEntry& entry : entries) {
        if (!SetRegistryText(HKEY_CLASSES_ROOT, Widen(entry.key), Widen(entry.name),
                             WithModulePath(entry.data, modulePath))) {
            return false;
        }
    }
    return true;
}

// The registry view of the other architecture: 32-bit from a 64-bit module,
// 64-bit from a 32-bit one. Where there is no such view, the flag is ignored
// and the module's own view answers.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

bool OtherViewHoldsClass(const std::string& classKey) {
    UniqueRegKey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), 0, KEY_READ | kOtherView,
                           key.put()) == ERROR_SUCCESS;
}

}  // namespace

BOOL AfxOleRegisterClass(HINSTANCE instance, REFCLSID clsid, LPCSTR progId, std::span<const RegistryEntry> entries) {
    const BOOL written = RegistrationEntry([&]() -> BOOL {
        const std::wstring modulePath = ModuleFileName<wchar_t>(instance);
        return !modulePath.empty() && WriteEntries(entries, modulePath);
    });
    if (!written) AfxOleUnregisterClass(clsid, progId);
    return written;
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, LPCSTR progId) {
    return RegistrationEntry([&]() -> BOOL {
        const std::string classKey = ClassKey(clsid);
        if (RegistryKeyExists(HKEY_CLASSES_ROOT, classKey + "\\InprocServer")) {
            // A 16-bit server shares the class id: leave its entries alone.
            const bool removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32") &&
                                 DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey + "\\ToolboxBitmap32");
            return removed ? TRUE : FALSE;
        }
        bool removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, classKey);
        if (progId && !OtherViewHoldsClass(classKey)) {
            removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, progId) && removed;
        }
        return removed ? TRUE : FALSE;
    });
}
