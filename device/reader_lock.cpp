#include "device/reader_lock.h"

#include <cstdio>

std::string SharedReaderName(std::string_view devicePath) {
    // FNV-1a, 64 bits, over the lower-cased path: stable across processes,
    // builds and architectures, unlike std::hash.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : devicePath) {
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        hash ^= static_cast<unsigned char>(lower);
        hash *= 0x100000001b3ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "VELDORINCTL-reader-%016llx", static_cast<unsigned long long>(hash));
    return name;
}
