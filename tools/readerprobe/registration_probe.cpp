#include "tools/readerprobe/registration_probe.h"

#include <windows.h>

#include <cstdio>

#include "resources/guids.h"
#include "win32/unique_reg_key.h"
#include "win32/utf8_text.h"

namespace {

const std::wstring kClassId = L"{" + Utf8ToWide(VELDORINCTL_GUID_STRING(VELDORINCTL_CLSID_TEXT)) + L"}";

struct View {
    const char* name;
    REGSAM access;
    const wchar_t* typeLibraryPlatform;
};
constexpr View kViews[] = {{"64-bit", KEY_WOW64_64KEY, L"win64"}, {"32-bit", KEY_WOW64_32KEY, L"win32"}};

UniqueRegKey OpenKey(HKEY root, const std::wstring& path, REGSAM view) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return {};
    return key;
}

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); "" when absent.
std::wstring StringValue(HKEY key, const wchar_t* name) {
    if (!key) return {};
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (type == REG_EXPAND_SZ) {
        std::wstring expanded(::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0), L'\0');
        if (!expanded.empty() && ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                             static_cast<DWORD>(expanded.size())) == expanded.size())
            text = expanded.substr(0, expanded.size() - 1);
    }
    return text;
}

FileFinding FileNamed(const std::wstring& path) {
    FileFinding file;
    file.path = WideToUtf8(path);
    if (path.empty()) return file;
    file.exists = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (file.exists) file.version = FileVersionOf(path);
    return file;
}

// Every path from the root, so that the registry redirects each of them for
// the view.
RegistrationFinding ProbeRegistration(const char* scope, HKEY root, const View& view) {
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring classPath = classes + L"CLSID\\" + kClassId;
    RegistrationFinding found;
    found.scope = scope;
    found.view = view.name;
    const UniqueRegKey classKey = OpenKey(root, classPath, view.access);
    if (!classKey) return found;
    found.registered = true;
    found.className = WideToUtf8(StringValue(classKey.get(), nullptr));
    const UniqueRegKey server = OpenKey(root, classPath + L"\\InprocServer32", view.access);
    found.server = FileNamed(StringValue(server.get(), nullptr));
    found.threadingModel = WideToUtf8(StringValue(server.get(), L"ThreadingModel"));
    const UniqueRegKey typeLibraryKey = OpenKey(root, classPath + L"\\TypeLib", view.access);
    const std::wstring typeLibrary = StringValue(typeLibraryKey.get(), nullptr);
    found.typeLibrary = WideToUtf8(typeLibrary);
    if (typeLibrary.empty()) return found;
    wchar_t version[16];
    std::swprintf(version, std::size(version), L"%x.%x", VELDORINCTL_TYPELIB_MAJOR, VELDORINCTL_TYPELIB_MINOR);
    const UniqueRegKey typeLibraryFile =
        OpenKey(root, classes + L"TypeLib\\" + typeLibrary + L"\\" + version + L"\\0\\" + view.typeLibraryPlatform,
                view.access);
    found.typeLibraryFile = FileNamed(StringValue(typeLibraryFile.get(), nullptr));
    return found;
}

}  // namespace

std::string FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || length < sizeof *info)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

std::vector<RegistrationFinding> ProbeRegistrations() {
    std::vector<RegistrationFinding> found;
    const struct {
        const char* name;
        HKEY root;
    } scopes[] = {{"machine", HKEY_LOCAL_MACHINE}, {"user", HKEY_CURRENT_USER}};
    for (const auto& scope : scopes) {
        for (const View& view : kViews) found.push_back(ProbeRegistration(scope.name, scope.root, view));
    }
    return found;
}

std::vector<KillBitFinding> ProbeKillBits() {
    std::vector<KillBitFinding> found;
    for (const View& view : kViews) {
        KillBitFinding killBit;
        killBit.view = view.name;
        const UniqueRegKey key =
            OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + kClassId,
                    view.access);
        DWORD type = 0, flags = 0, size = sizeof flags;
        if (key &&
            ::RegQueryValueExW(key.get(), L"Compatibility Flags", nullptr, &type, reinterpret_cast<BYTE*>(&flags),
                               &size) == ERROR_SUCCESS &&
            type == REG_DWORD)
            killBit.flags = flags;
        found.push_back(killBit);
    }
    return found;
}
