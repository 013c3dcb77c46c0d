// An owned automation string. The empty value is the null BSTR, which the
// automation convention also reads as the empty string; SysFreeString frees.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR value) : value_(value) {}
    ~UniqueBstr() { ::SysFreeString(value_); }
    UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    UINT length() const { return ::SysStringLen(value_); }

    void reset(BSTR value = nullptr) { ::SysFreeString(std::exchange(value_, value)); }
    [[nodiscard]] BSTR release() { return std::exchange(value_, nullptr); }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* put() {
        reset();
        return &value_;
    }

private:
    BSTR value_ = nullptr;
};
