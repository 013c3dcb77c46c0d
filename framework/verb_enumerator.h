// The enumerator of a control's verbs (IEnumOLEVERB). Each verb handed out
// carries a name the caller frees with CoTaskMemFree.
#pragma once

#include <windows.h>

#include <oleidl.h>

#include <string>

#include "framework/enumerator.h"
#include "win32/task_memory.h"

struct VerbItems {
    struct Stored {
        LONG verb;
        std::wstring name;
        UINT flags;
        DWORD attributes;
    };
    using Item = OLEVERB;
    static Item Copy(const Stored& verb) {
        return OLEVERB{verb.verb, CopyToTaskMemory(verb.name), verb.flags, verb.attributes};
    }
};
using CEnumOleVerbs = CEnumerator<IEnumOLEVERB, IID_IEnumOLEVERB, VerbItems>;
