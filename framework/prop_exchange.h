// The property exchange: one walk over a control's persistent values
// (DoPropExchange) that loads them, saves them or sets their defaults,
// depending on the exchange it is given.
//
// Values are 32-bit integers, exchanged by name in a fixed order. A property
// bag keeps them by name; a stream keeps them in exchange order, each as four
// little-endian bytes, with nothing else around them.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <ocidl.h>

class CPropExchange {
public:
    virtual ~CPropExchange() = default;

    bool IsLoading() const { return loading_; }
    // False once a value could not be exchanged; the walk goes on, but the
    // exchange as a whole has failed.
    bool Succeeded() const { return succeeded_; }

    // Loading: sets `value` from storage (or to `defaultValue` when storage
    // does not hold it). Saving: stores `value`. Reset: sets the default.
    virtual void ExchangeLong(const wchar_t* name, long& value, long defaultValue) = 0;

    // A value was read but is not one the control can take: the load fails.
    void Reject() { succeeded_ = false; }

protected:
    explicit CPropExchange(bool loading) : loading_(loading) {}
    void Fail() { succeeded_ = false; }

private:
    bool loading_;
    bool succeeded_ = true;
};

// Every value takes its default.
class CResetPropExchange final : public CPropExchange {
public:
    CResetPropExchange() : CPropExchange(true) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;
};

// Loads from a property bag. A missing value takes its default; a value that
// is there but cannot be read as an integer fails the exchange.
class CPropbagLoadPropExchange final : public CPropExchange {
public:
    CPropbagLoadPropExchange(IPropertyBag& bag, IErrorLog* log) : CPropExchange(true), bag_(bag), log_(log) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IPropertyBag& bag_;
    IErrorLog* log_;
};

class CPropbagSavePropExchange final : public CPropExchange {
public:
    explicit CPropbagSavePropExchange(IPropertyBag& bag) : CPropExchange(false), bag_(bag) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IPropertyBag& bag_;
};

// Loads from a stream; a value cut short fails the exchange (and leaves the
// value as it was).
class CStreamLoadPropExchange final : public CPropExchange {
public:
    explicit CStreamLoadPropExchange(IStream& stream) : CPropExchange(true), stream_(stream) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IStream& stream_;
};

class CStreamSavePropExchange final : public CPropExchange {
public:
    explicit CStreamSavePropExchange(IStream& stream) : CPropExchange(false), stream_(stream) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IStream& stream_;
};

// The bytes a stream save of `valueCount` values takes.
constexpr ULONG StreamSizeOfValues(ULONG valueCount) {
    return valueCount * 4;
}
