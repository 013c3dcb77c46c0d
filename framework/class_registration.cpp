#include "framework/class_registration.h"

#include <string>

#include "framework/registry.h"
#include "win32/module_file_name.h"

namespace {

constexpr int kSupportedFlags = afxRegApartmentThreading | afxRegFreeThreading;

// The type name from the string table; the class id text stands in for a
// string that is missing.
std::string TypeName(HINSTANCE instance, UINT id, const std::string& fallback) {
    char text[256];
    const int length = ::LoadStringA(instance, id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : fallback;
}

const char* ThreadingModel(int regFlags) {
    const bool apartment = regFlags & afxRegApartmentThreading;
    const bool free = regFlags & afxRegFreeThreading;
    if (apartment && free) return "Both";
    if (apartment) return "Apartment";
    if (free) return "Free";
    return nullptr;
}

std::string ClassKey(REFCLSID clsid) {
    return "CLSID\\" + GuidToRegistryText(clsid);
}

bool SetDefault(const std::string& key, const std::string& data) {
    return SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, data);
}

}  // namespace

BOOL AfxOleRegisterControlClass(HINSTANCE instance, REFCLSID clsid, LPCSTR progId, UINT idTypeName, UINT idBitmap,
                                int regFlags, DWORD miscStatus, REFGUID tlid, WORD verMajor, WORD verMinor) {
    return RegistrationEntry([&]() -> BOOL {
        if (regFlags & ~kSupportedFlags) return FALSE;
        const std::string classId = GuidToRegistryText(clsid);
        const std::string classKey = ClassKey(clsid);
        const std::string typeName = TypeName(instance, idTypeName, classId);
        const std::string modulePath = ModuleFileName<char>(instance);
        if (modulePath.empty()) return FALSE;

        bool written = SetDefault(classKey, typeName);
        if (progId) written = written && SetDefault(classKey + "\\ProgID", progId);
        written = written && SetDefault(classKey + "\\InprocServer32", modulePath) &&
                  SetDefault(classKey + "\\ToolboxBitmap32", modulePath + ", " + std::to_string(idBitmap)) &&
                  SetDefault(classKey + "\\MiscStatus", "0") &&
                  SetDefault(classKey + "\\MiscStatus\\1", std::to_string(miscStatus)) &&
                  SetDefault(classKey + "\\Control", "") &&
                  SetDefault(classKey + "\\TypeLib", GuidToRegistryText(tlid)) &&
                  SetDefault(classKey + "\\Version", std::to_string(verMajor) + "." + std::to_string(verMinor));
        if (progId) {
            written = written && SetDefault(progId, typeName) && SetDefault(std::string(progId) + "\\CLSID", classId);
        }
        if (const char* model = ThreadingModel(regFlags)) {
            written =
                written && SetRegistryString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel", model);
        }
        return written ? TRUE : FALSE;
    });
}

BOOL AfxOleRegisterPropertyPageClass(HINSTANCE instance, REFCLSID clsid, UINT idTypeName, int regFlags) {
    return RegistrationEntry([&]() -> BOOL {
        if (regFlags & ~kSupportedFlags) return FALSE;
        const std::string classKey = ClassKey(clsid);
        const std::string modulePath = ModuleFileName<char>(instance);
        if (modulePath.empty()) return FALSE;
        bool written = SetDefault(classKey, TypeName(instance, idTypeName, GuidToRegistryText(clsid))) &&
                       SetDefault(classKey + "\\InprocServer32", modulePath);
        if (const char* model = ThreadingModel(regFlags)) {
            written =
                written && SetRegistryString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel", model);
        }
        return written ? TRUE : FALSE;
    });
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
        if (progId) removed = DeleteRegistryTree(HKEY_CLASSES_ROOT, progId) && removed;
        return removed ? TRUE : FALSE;
    });
}
