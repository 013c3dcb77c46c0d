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

    bool IsLoading() const { return m_loading; }
    // False once a value could not be exchanged; the walk goes on, but the
    // exchange as a whole has failed.
    bool Succeeded() const { return m_succeeded; }

    // Loading: sets `value` from storage (or to `defaultValue` when storage
    // does not hold it). Saving: stores `value`. Reset: sets the default.
    virtual void ExchangeLong(const wchar_t* name, long& value, long defaultValue) = 0;

    // A value was read but is not one the control can take: the load fails.
    void Reject() { m_succeeded = false; }

protected:
    explicit CPropExchange(bool loading) : m_loading(loading) {}
    void Fail() { m_succeeded = false; }

private:
    bool m_loading;
    bool m_succeeded = true;
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
    CPropbagLoadPropExchange(IPropertyBag& bag, IErrorLog* log) : CPropExchange(true), m_bag(bag), m_log(log) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IPropertyBag& m_bag;
    IErrorLog* m_log;
};

class CPropbagSavePropExchange final : public CPropExchange {
public:
    explicit CPropbagSavePropExchange(IPropertyBag& bag) : CPropExchange(false), m_bag(bag) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IPropertyBag& m_bag;
};

// Loads from a stream; a value cut short fails the exchange (and leaves the
// value as it was).
class CStreamLoadPropExchange final : public CPropExchange {
public:
    explicit CStreamLoadPropExchange(IStream& stream) : CPropExchange(true), m_stream(stream) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IStream& m_stream;
};

class CStreamSavePropExchange final : public CPropExchange {
public:
    explicit CStreamSavePropExchange(IStream& stream) : CPropExchange(false), m_stream(stream) {}
    void ExchangeLong(const wchar_t* name, long& value, long defaultValue) override;

private:
    IStream& m_stream;
};

// The bytes a stream save of `valueCount` values takes.
constexpr ULONG StreamSizeOfValues(ULONG valueCount) {
    return valueCount * 4;
}
