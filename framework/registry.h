// Small registry helpers for self-registration. Values are REG_SZ strings;
// keys are created with read and write access. Key names are ASCII; data
// that may hold any text (a module path) goes through the wide functions.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win32/entry_barrier.h"

// Sets value `name` (null: the key's default value) of `root\subkey`,
// creating the key when needed.
bool SetRegistryString(HKEY root, const std::string& subkey, const char* name, const std::string& data);
// The same with the wide API; an empty `name` is the default value.
bool SetRegistryText(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data);
// Creates the key (and the keys above it) when it is not there.
bool CreateRegistryKey(HKEY root, const std::wstring& subkey);
// ASCII or 8-bit text in the ANSI code page, as UTF-16.
std::wstring Widen(const std::string& text);
// The string value, or nothing when the key or value is absent.
std::optional<std::wstring> GetRegistryText(HKEY root, const std::wstring& subkey, const wchar_t* name);
std::optional<std::string> GetRegistryString(HKEY root, const std::string& subkey, const char* name);
bool RegistryKeyExists(HKEY root, const std::string& subkey);
// Deletes the key with everything under it. A key that is not there counts
// as deleted.
bool DeleteRegistryTree(HKEY root, const std::string& subkey);
// The names of the key's direct subkeys (none when it is absent).
std::vector<std::string> RegistrySubkeys(HKEY root, const std::string& subkey);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as StringFromGUID2 writes it.
std::string GuidToRegistryText(REFGUID guid);

// Registration reports failure by its result, never by an exception.
template <typename Body>
BOOL RegistrationEntry(Body&& body) noexcept {
    return EntryBarrier<BOOL>(body, [](bool) -> BOOL { return FALSE; });
}
