// Name lookup and invocation over a dispatch map chain: the part of
// IDispatch that does not depend on type information.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <optional>

#include "framework/dispatch_map.h"

// The DISPID of the first entry named `name`, compared without regard to
// case in the invariant locale, searching the most derived map first.
std::optional<DISPID> FindDispatchId(const DispatchMap& map, const wchar_t* name);

// The entry that `dispid` selects: a positive DISPID names a position (low
// 16 bits, one-based) in the map at the depth of its upper 16 bits, taken
// when that entry has no explicit DISPID or has this very one; otherwise the
// entry whose explicit DISPID equals it. Null when there is none.
const DispatchEntry* FindDispatchEntry(const DispatchMap& map, DISPID dispid);

// Calls `entry` on `target` with positional arguments coerced to the declared
// types by the automation runtime (strings then become 8-bit text). Named
// arguments, a wrong count and coercion errors (with *puArgErr set to the
// argument's index in rgvarg) fail before the handler runs. An exception
// from the handler or from building its arguments becomes DISP_E_EXCEPTION
// with wCode 0xF10A for out of memory and 0xF108 otherwise.
HRESULT InvokeDispatchEntry(CCmdTarget& target, const DispatchEntry& entry, const DISPPARAMS& params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError);

// EXCEPINFO codes of exceptions raised inside a handler.
inline constexpr WORD kExceptionCodeOutOfMemory = 0xF10A;
inline constexpr WORD kExceptionCodeOther = 0xF108;
