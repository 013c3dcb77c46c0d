#include "framework/dispatch.h"

#include <new>

#include "framework/text_conversion.h"
#include "win32/unique_variant.h"

namespace {

bool SameName(const wchar_t* a, const wchar_t* b) {
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

DISPID PositionalId(size_t position, unsigned depth) {
    return static_cast<DISPID>((depth << 16) | static_cast<unsigned>(position));
}

const DispatchMap* MapAtDepth(const DispatchMap& map, unsigned depth) {
    const DispatchMap* current = &map;
    while (current && depth-- > 0) current = current->base;
    return current;
}

const DispatchEntry* EntryAtPosition(const DispatchMap& map, DISPID dispid) {
    const unsigned position = static_cast<unsigned>(dispid) & 0xFFFF;
    const DispatchMap* level = MapAtDepth(map, static_cast<unsigned>(dispid) >> 16);
    if (position == 0 || !level || position > level->entries.size()) return nullptr;
    const DispatchEntry& entry = level->entries[position - 1];
    return !entry.explicitId || *entry.explicitId == dispid ? &entry : nullptr;
}

const DispatchEntry* EntryWithExplicitId(const DispatchMap& map, DISPID dispid) {
    for (const DispatchMap* level = &map; level; level = level->base) {
        for (const DispatchEntry& entry : level->entries) {
            if (entry.explicitId && *entry.explicitId == dispid) return &entry;
        }
    }
    return nullptr;
}

// Script engines pass at most one level of reference; a longer chain is
// either a mistake or a loop (a variant that refers to itself).
constexpr int kMaxVariantReferences = 8;

// The argument, seen through references to variants, or null when the chain
// is longer than any caller makes.
VARIANT* Referenced(VARIANT& argument) {
    VARIANT* value = &argument;
    for (int depth = 0; value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal; ++depth) {
        if (depth == kMaxVariantReferences) return nullptr;
        value = value->pvarVal;
    }
    return value;
}

// A string argument is taken as it is: the automation runtime's coercion
// would turn a null BSTR into an empty one, and a method must be able to
// tell them apart.
bool IsString(const VARIANT& value) {
    return value.vt == VT_BSTR || (value.vt == (VT_BSTR | VT_BYREF) && value.pbstrVal);
}

BSTR StringOf(const VARIANT& value) {
    return value.vt == VT_BSTR ? value.bstrVal : *value.pbstrVal;
}

HRESULT ReportException(EXCEPINFO* exception, WORD code) {
    if (exception) {
        *exception = EXCEPINFO{};
        exception->wCode = code;
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

std::optional<DISPID> FindDispatchId(const DispatchMap& map, const wchar_t* name) {
    if (!name) return std::nullopt;
    unsigned depth = 0;
    for (const DispatchMap* level = &map; level; level = level->base, ++depth) {
        for (size_t i = 0; i < level->entries.size(); ++i) {
            const DispatchEntry& entry = level->entries[i];
            if (SameName(entry.name, name)) return entry.explicitId ? *entry.explicitId : PositionalId(i + 1, depth);
        }
    }
    return std::nullopt;
}

const DispatchEntry* FindDispatchEntry(const DispatchMap& map, DISPID dispid) {
    if (dispid > 0) {
        if (const DispatchEntry* entry = EntryAtPosition(map, dispid)) return entry;
    }
    return EntryWithExplicitId(map, dispid);
}

HRESULT InvokeDispatchEntry(CCmdTarget& target, const DispatchEntry& entry, const DISPPARAMS& params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError) {
    if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const UINT count = params.cArgs;
    if (count != entry.params.size() || count > kMaxDispatchParams) return DISP_E_BADPARAMCOUNT;
    if (count != 0 && !params.rgvarg) return E_INVALIDARG;

    // Coercion comes first and on its own: its failures are the caller's
    // argument errors, not exceptions of the method.
    UniqueVariant coerced[kMaxDispatchParams];
    BSTR strings[kMaxDispatchParams] = {};
    for (UINT i = 0; i < count; ++i) {
        const UINT position = count - 1 - i;  // rgvarg holds the last argument first
        VARIANT* argument = Referenced(params.rgvarg[position]);
        if (argument && entry.params[i] == VTS_BSTR && IsString(*argument)) {
            strings[i] = StringOf(*argument);
            continue;
        }
        const HRESULT hr =
            argument ? ::VariantChangeType(coerced[i].get(), argument, 0, entry.params[i]) : DISP_E_TYPEMISMATCH;
        if (FAILED(hr)) {
            if (argError) *argError = position;
            return hr;
        }
        if (entry.params[i] == VTS_BSTR) strings[i] = coerced[i]->bstrVal;
    }

    try {
        DispatchArguments arguments;
        for (UINT i = 0; i < count; ++i) {
            if (entry.params[i] == VTS_I4) {
                arguments.AddLong(coerced[i]->lVal);
            } else {
                arguments.AddText(BstrToAnsiText(strings[i]));
            }
        }
        entry.handler(target, arguments, result);
    } catch (const std::bad_alloc&) {
        return ReportException(exception, kExceptionCodeOutOfMemory);
    } catch (...) {
        return ReportException(exception, kExceptionCodeOther);
    }
    return S_OK;
}
