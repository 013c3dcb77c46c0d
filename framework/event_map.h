// Event maps: the events a control may fire, in order. An entry without an
// explicit DISPID takes its one-based position. The framework's stock
// events (Click and the like) are on only when the map lists them.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <optional>
#include <span>

struct EventEntry {
    const wchar_t* name;
    std::optional<DISPID> explicitId;
    std::span<const VARTYPE> params;  // VTS_BSTR: fired from 8-bit text
    bool stock;
};

struct EventMap {
    std::span<const EventEntry> entries;
};

// The entry that fires as `dispid`, or null when the map has none.
inline const EventEntry* FindEvent(const EventMap& map, DISPID dispid) {
    for (size_t i = 0; i < map.entries.size(); ++i) {
        const EventEntry& entry = map.entries[i];
        const DISPID id = entry.explicitId ? *entry.explicitId : static_cast<DISPID>(i + 1);
        if (id == dispid) return &entry;
    }
    return nullptr;
}
