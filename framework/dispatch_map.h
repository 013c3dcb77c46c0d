// Dispatch maps: the ordered table through which a class publishes its
// methods to scripts. An entry holds the external name, an explicit DISPID
// or none, the parameter and result types, the handler, and whether the
// handler is the framework's stock one.
//
// An entry without an explicit DISPID is reached by its one-based position,
// with the depth of its map in the class chain in the upper 16 bits (the
// most derived class's map has depth 0). Moving an entry changes its DISPID.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win32/unique_bstr.h"

class CCmdTarget;

// Parameter and result types as the maps write them.
inline constexpr VARTYPE VTS_NONE = VT_EMPTY;  // no result
inline constexpr VARTYPE VTS_I4 = VT_I4;       // 32-bit signed integer
inline constexpr VARTYPE VTS_BSTR = VT_BSTR;   // string; handlers get 8-bit text

// Invocation coerces arguments into a fixed array of this many.
inline constexpr size_t kMaxDispatchParams = 8;

// A call's arguments after coercion, in declaration order.
class DispatchArguments {
public:
    void AddLong(long value) { arguments_.push_back({value, std::nullopt}); }
    void AddText(std::optional<std::string> text) { arguments_.push_back({0, std::move(text)}); }

    long Long(size_t index) const { return arguments_.at(index).number; }
    // Zero-terminated 8-bit text, or null for a null automation string. It
    // lives until the handler returns.
    const char* Text(size_t index) const {
        const auto& text = arguments_.at(index).text;
        return text ? text->c_str() : nullptr;
    }
    // The whole 8-bit text, embedded zeros included; empty (with a null
    // data()) for a null automation string. It lives until the handler
    // returns.
    std::string_view WholeText(size_t index) const {
        const auto& text = arguments_.at(index).text;
        return text ? std::string_view(*text) : std::string_view();
    }

private:
    struct Argument {
        long number;
        std::optional<std::string> text;
    };
    std::vector<Argument> arguments_;
};

// Runs one entry on `target`; `result` is null when the caller wants none.
using DispatchHandler = void (*)(CCmdTarget& target, const DispatchArguments& arguments, VARIANT* result);

struct DispatchEntry {
    const wchar_t* name;
    std::optional<DISPID> explicitId;
    std::span<const VARTYPE> params;
    VARTYPE result;
    DispatchHandler handler;
    bool stock;
};

struct DispatchMap {
    const DispatchMap* base;  // the map of the base class, or null
    std::span<const DispatchEntry> entries;
};

namespace dispatch_detail {

template <class T>
struct Type;

template <>
struct Type<void> {
    static constexpr VARTYPE vt = VTS_NONE;
};

template <>
struct Type<long> {
    static constexpr VARTYPE vt = VTS_I4;
    static long From(const DispatchArguments& arguments, size_t index) { return arguments.Long(index); }
    static void To(long value, VARIANT* result) {
        result->vt = VT_I4;
        result->lVal = value;
    }
};

template <>
struct Type<const char*> {
    static constexpr VARTYPE vt = VTS_BSTR;
    static const char* From(const DispatchArguments& arguments, size_t index) { return arguments.Text(index); }
};

// A string argument that must be taken whole: a zero inside it is seen,
// not taken for its end.
template <>
struct Type<std::string_view> {
    static constexpr VARTYPE vt = VTS_BSTR;
    static std::string_view From(const DispatchArguments& arguments, size_t index) {
        return arguments.WholeText(index);
    }
};

template <>
struct Type<UniqueBstr> {
    static constexpr VARTYPE vt = VTS_BSTR;
    static void To(UniqueBstr value, VARIANT* result) {
        result->vt = VT_BSTR;
        result->bstrVal = value.release();
    }
};

template <auto Method>
struct Binding;

// Parameter and result types come from the handler's own signature, so the
// table and the method cannot disagree.
template <class Class, class Result, class... Params, Result (Class::*Method)(Params...)>
struct Binding<Method> {
    static_assert(sizeof...(Params) <= kMaxDispatchParams, "too many parameters for a dispatch entry");
    static constexpr VARTYPE params[sizeof...(Params) + 1] = {Type<Params>::vt..., VTS_NONE};
    static constexpr size_t count = sizeof...(Params);
    static constexpr VARTYPE result = Type<Result>::vt;

    static void Invoke(CCmdTarget& target, const DispatchArguments& arguments, VARIANT* out) {
        // The map belongs to Class, so every target it is used on is one.
        Class& object = static_cast<Class&>(target);
        Call(object, arguments, out, std::index_sequence_for<Params...>());
    }

private:
    template <size_t... I>
    static void Call(Class& object, const DispatchArguments& arguments, VARIANT* out, std::index_sequence<I...>) {
        if constexpr (std::is_void_v<Result>) {
            (object.*Method)(Type<Params>::From(arguments, I)...);
        } else {
            auto value = (object.*Method)(Type<Params>::From(arguments, I)...);
            if (out) Type<Result>::To(std::move(value), out);
        }
    }
};

}  // namespace dispatch_detail

// An entry for the class's own method `Method`.
template <auto Method>
constexpr DispatchEntry DispFunction(const wchar_t* name, std::optional<DISPID> explicitId = std::nullopt) {
    using B = dispatch_detail::Binding<Method>;
    return {name, explicitId, std::span<const VARTYPE>(B::params, B::count), B::result, &B::Invoke, false};
}

// An entry for one of the framework's stock methods.
template <auto Method>
constexpr DispatchEntry DispStockFunction(const wchar_t* name, DISPID explicitId) {
    DispatchEntry entry = DispFunction<Method>(name, explicitId);
    entry.stock = true;
    return entry;
}
