// An owned VARIANT: initialised empty, cleared with VariantClear, so a BSTR or
// interface it holds is released exactly once.
#pragma once

#include <windows.h>

#include <oleauto.h>

class UniqueVariant {
public:
    UniqueVariant() { ::VariantInit(&value_); }
    ~UniqueVariant() { ::VariantClear(&value_); }
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.release()) {}
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(&value_);
            value_ = other.release();
        }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARIANT* operator->() { return &value_; }
    const VARIANT* operator->() const { return &value_; }

    void reset() { ::VariantClear(&value_); }
    // For out-parameters: clears what is held and hands out the slot.
    VARIANT* put() {
        reset();
        return &value_;
    }
    // Moves the value out (the caller owns it); this one is left empty.
    [[nodiscard]] VARIANT release() {
        VARIANT out = value_;
        ::VariantInit(&value_);
        return out;
    }

private:
    VARIANT value_;
};
