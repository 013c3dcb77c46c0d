#include "framework/prop_exchange.h"

#include <array>
#include <cstdint>

#include "win32/unique_variant.h"

void CResetPropExchange::ExchangeLong(const wchar_t*, long& value, long defaultValue) {
    value = defaultValue;
}

void CPropbagLoadPropExchange::ExchangeLong(const wchar_t* name, long& value, long defaultValue) {
    // Asked for in whatever type the bag keeps it (a page's params are
    // text), and coerced here, so that a value the bag cannot turn into a
    // number is told apart from one it does not hold.
    UniqueVariant stored;
    const HRESULT hr = m_bag.Read(name, stored.get(), m_log);
    if (hr == E_INVALIDARG) {
        // Containers write only what they were given: a value that is not
        // there keeps its default.
        value = defaultValue;
        return;
    }
    UniqueVariant number;
    if (FAILED(hr) || FAILED(::VariantChangeType(number.get(), stored.get(), 0, VT_I4))) {
        Fail();
        return;
    }
    value = number.get()->lVal;
}

void CPropbagSavePropExchange::ExchangeLong(const wchar_t* name, long& value, long) {
    UniqueVariant stored;
    stored->vt = VT_I4;
    stored->lVal = value;
    if (FAILED(m_bag.Write(name, stored.get()))) Fail();
}

void CStreamLoadPropExchange::ExchangeLong(const wchar_t*, long& value, long) {
    if (!Succeeded()) return;  // out of step with the stream: read no further
    std::array<unsigned char, 4> bytes{};
    ULONG read = 0;
    if (FAILED(m_stream.Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size()) {
        Fail();
        return;
    }
    const uint32_t bits =
        uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
    value = static_cast<long>(static_cast<int32_t>(bits));
}

void CStreamSavePropExchange::ExchangeLong(const wchar_t*, long& value, long) {
    if (!Succeeded()) return;
    const auto bits = static_cast<uint32_t>(value);
    const std::array<unsigned char, 4> bytes{static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                             static_cast<unsigned char>(bits >> 16),
                                             static_cast<unsigned char>(bits >> 24)};
    ULONG written = 0;
    if (FAILED(m_stream.Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) || written != bytes.size()) {
        Fail();
    }
}
