// One registry value as a class registration describes it: plain text, so
// that both the module and build tools that turn registrations into
// installer rows can read the same description. Portable: no Windows header.
#pragma once

// Stands in, inside `data`, for the full path of the module that registers.
#define VELDORINCTL_MODULE_PATH "%MODULE%"
inline constexpr char kModulePathPlaceholder[] = VELDORINCTL_MODULE_PATH;

struct RegistryEntry {
    const char* key;   // under the classes root, e.g. "CLSID\\{...}\\InprocServer32"
    const char* name;  // the value's name; empty for the key's default value
    const char* data;  // a REG_SZ string, ASCII, with kModulePathPlaceholder where the path goes
};
