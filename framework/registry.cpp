#include "framework/registry.h"

#include <objbase.h>

#include "win32/unique_reg_key.h"

namespace {

UniqueRegKey OpenKey(HKEY root, const std::string& subkey, REGSAM access) {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, subkey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

}  // namespace

bool SetRegistryString(HKEY root, const std::string& subkey, const char* name, const std::string& data) {
    UniqueRegKey key;
    if (::RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        key.reset();
        return false;
    }
    return ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

bool CreateRegistryKey(HKEY root, const std::wstring& subkey) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        key.reset();
        return false;
    }
    return true;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

bool SetRegistryText(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        key.reset();
        return false;
    }
    return ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<std::wstring> GetRegistryText(HKEY root, const std::wstring& subkey, const wchar_t* name) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    return data;
}

std::optional<std::string> GetRegistryString(HKEY root, const std::string& subkey, const char* name) {
    const UniqueRegKey key = OpenKey(root, subkey, KEY_READ);
    if (!key) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::string data(size, '\0');
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

bool RegistryKeyExists(HKEY root, const std::string& subkey) {
    return static_cast<bool>(OpenKey(root, subkey, KEY_READ));
}

bool DeleteRegistryTree(HKEY root, const std::string& subkey) {
    const LSTATUS status = ::RegDeleteTreeA(root, subkey.c_str());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
    const LSTATUS removed = ::RegDeleteKeyA(root, subkey.c_str());
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> RegistrySubkeys(HKEY root, const std::string& subkey) {
    std::vector<std::string> names;
    const UniqueRegKey key = OpenKey(root, subkey, KEY_READ);
    if (!key) return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

std::string GuidToRegistryText(REFGUID guid) {
    wchar_t wide[39];
    const int length = ::StringFromGUID2(guid, wide, 39);
    // Hexadecimal digits, braces and dashes: every unit is ASCII.
    return std::string(wide, wide + (length > 0 ? length - 1 : 0));
}
