#include "control/win32/machine_policy.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "sitelock/policy_names.h"
#include "win32/unique_reg_key.h"
#include "win32/utf8_text.h"

namespace {

constexpr REGSAM kPolicyAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

// The strings of a REG_MULTI_SZ, which need not end as it should: each
// string ends at a NUL or at the data's end; empty strings are skipped.
std::vector<std::string> SplitMultiString(const std::vector<wchar_t>& data) {
    std::vector<std::string> strings;
    size_t start = 0;
    for (size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != L'\0') continue;
        if (i > start) strings.push_back(WideToUtf8(std::wstring_view(data.data() + start, i - start)));
        start = i + 1;
    }
    return strings;
}

std::vector<wchar_t> WideText(const std::vector<BYTE>& data) {
    std::vector<wchar_t> text(data.size() / sizeof(wchar_t));
    std::copy_n(data.begin(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    return text;
}

// A REG_SZ's text up to its first NUL (or its end, when it has none), with
// the environment variables of a REG_EXPAND_SZ expanded.
std::string SingleString(const std::vector<BYTE>& data, bool expand) {
    const std::vector<wchar_t> units = WideText(data);
    std::wstring text(units.begin(), std::find(units.begin(), units.end(), L'\0'));
    if (expand && !text.empty()) {
        const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(size, L'\0');
        if (size > 0 && ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size) == size) {
            expanded.resize(size - 1);
            text = std::move(expanded);
        }
    }
    return WideToUtf8(text);
}

PolicyValue ReadValue(HKEY key, const char* name) {
    const std::wstring wideName = WidePolicyName(name);
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data;
    // The value may grow between the two calls; ask again until it fits.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        data.resize(size);
        status = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) break;
    }
    if (status == ERROR_FILE_NOT_FOUND) return {};
    if (status != ERROR_SUCCESS) return {PolicyValue::Kind::Other, {}, 0};
    data.resize(size);
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&number));
        return {PolicyValue::Kind::Number, {}, number};
    }
    if (type == REG_MULTI_SZ) return {PolicyValue::Kind::MultiString, SplitMultiString(WideText(data)), 0};
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        return {PolicyValue::Kind::String, {SingleString(data, type == REG_EXPAND_SZ)}, 0};
    return {PolicyValue::Kind::Other, {}, 0};
}

}  // namespace

std::wstring WidePolicyName(const char* name) {
    return std::wstring(name, name + std::char_traits<char>::length(name));
}

PolicyValues ReadMachinePolicyValues() {
    PolicyValues values;
    UniqueRegKey key;
    const LONG status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WidePolicyName(kPolicyKeyPath).c_str(), 0, kPolicyAccess, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return values;
    if (status != ERROR_SUCCESS) {
        values.key = PolicyValues::Key::Unreadable;
        values.keyError = status;
        return values;
    }
    values.key = PolicyValues::Key::Read;
    for (const PolicyValueName& value : kPolicyValues) values.byName[value.name] = ReadValue(key.get(), value.name);
    return values;
}

MachinePolicy ReadMachinePolicy() {
    return MachinePolicyFrom(ReadMachinePolicyValues());
}
