#include "module/component_categories.h"

#include <wrl/client.h>

#include <cwchar>
#include <iterator>

using Microsoft::WRL::ComPtr;

namespace {

constexpr LCID kCategoryLocale = 0x409;

HRESULT CreateCategoryManager(ComPtr<ICatRegister>& manager) {
    return ::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                              reinterpret_cast<void**>(manager.ReleaseAndGetAddressOf()));
}

}  // namespace

HRESULT RegisterComponentCategory(REFCATID catid, const wchar_t* description) {
    ComPtr<ICatRegister> manager;
    const HRESULT hr = CreateCategoryManager(manager);
    if (FAILED(hr)) return hr;
    CATEGORYINFO category{};
    category.catid = catid;
    category.lcid = kCategoryLocale;
    const size_t length = description ? std::wcslen(description) : 0;
    const size_t kept = length < kMaxCategoryDescription ? length : kMaxCategoryDescription;
    static_assert(kMaxCategoryDescription < std::size(CATEGORYINFO{}.szDescription));
    if (kept) std::wmemcpy(category.szDescription, description, kept);
    category.szDescription[kept] = L'\0';
    return manager->RegisterCategories(1, &category);
}

HRESULT RegisterClassInCategory(REFCLSID clsid, REFCATID catid) {
    ComPtr<ICatRegister> manager;
    HRESULT hr = CreateCategoryManager(manager);
    if (SUCCEEDED(hr)) {
        CATID categories[] = {catid};
        hr = manager->RegisterClassImplCategories(clsid, 1, categories);
    }
    return hr;
}
