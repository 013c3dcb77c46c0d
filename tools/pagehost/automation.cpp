#include "tools/pagehost/automation.h"

#include <new>

namespace pagehost {

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

std::wstring ArgumentText(const VARIANT& argument) {
    UniqueVariant text;
    if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(&argument), VARIANT_ALPHABOOL, VT_BSTR)) ||
        !text.get()->bstrVal)
        return {};
    return std::wstring(text.get()->bstrVal, SysStringLen(text.get()->bstrVal));
}

int ArgumentNumber(const VARIANT& argument, int fallback) {
    UniqueVariant number;
    if (FAILED(VariantChangeType(number.get(), const_cast<VARIANT*>(&argument), 0, VT_I4))) return fallback;
    return number.get()->lVal;
}

HRESULT ReturnText(VARIANT* result, std::wstring_view text) {
    if (!result) return S_OK;
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    result->bstrVal = value;
    return S_OK;
}

HRESULT ReturnNumber(VARIANT* result, int value) {
    if (!result) return S_OK;
    result->vt = VT_I4;
    result->lVal = value;
    return S_OK;
}

}  // namespace pagehost
