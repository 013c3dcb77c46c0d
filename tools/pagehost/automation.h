// RAII for the automation types pagehost handles, and text conversions.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace pagehost {

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~UniqueBstr() { SysFreeString(value_); }
    UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    BSTR get() const { return value_; }
    BSTR* put() {
        reset();
        return &value_;
    }
    [[nodiscard]] BSTR release() { return std::exchange(value_, nullptr); }
    void reset(BSTR value = nullptr) { SysFreeString(std::exchange(value_, value)); }

private:
    BSTR value_ = nullptr;
};

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

std::wstring Widen(std::string_view text, UINT codePage = CP_UTF8);
std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8);

// The argument's text (numbers and the like converted as JScript would hand
// them over); empty for null, undefined or what does not convert.
std::wstring ArgumentText(const VARIANT& argument);
// The argument as a number, or `fallback`.
int ArgumentNumber(const VARIANT& argument, int fallback = 0);

// Puts text or a number into a result the caller may have asked for.
HRESULT ReturnText(VARIANT* result, std::wstring_view text);
HRESULT ReturnNumber(VARIANT* result, int value);

}  // namespace pagehost
