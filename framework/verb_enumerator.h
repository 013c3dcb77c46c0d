// The enumerator of a control's verbs (IEnumOLEVERB). Each verb handed out
// carries a name the caller frees with CoTaskMemFree.
#pragma once

#include <windows.h>

#include <oleidl.h>

#include <string>

#include "framework/enumerator.h"

struct VerbItems {
    struct Stored {
        LONG verb;
        std::wstring name;
        UINT flags;
        DWORD attributes;
    };
    using Item = OLEVERB;
    static Item Copy(const Stored& verb) {
        const size_t bytes = (verb.name.size() + 1) * sizeof(wchar_t);
        auto* name = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
        if (name) std::copy(verb.name.c_str(), verb.name.c_str() + verb.name.size() + 1, name);
        return OLEVERB{verb.verb, name, verb.flags, verb.attributes};
    }
};
using CEnumOleVerbs = CEnumerator<IEnumOLEVERB, IID_IEnumOLEVERB, VerbItems>;
