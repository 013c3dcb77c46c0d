#include "tools/pagehost/property_bag.h"

#include <cwchar>

#include "tools/pagehost/automation.h"

namespace pagehost {
namespace {

class ParamBag final : public RefCounted, public IPropertyBag {
public:
    explicit ParamBag(const Params& params) {
        for (const auto& [name, value] : params) params_.emplace_back(Widen(name), Widen(value));
    }

    PAGEHOST_IUNKNOWN

    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        return ComEntry([&] {
            if (!name || !value) return E_POINTER;
            for (const auto& [param, text] : params_) {
                if (_wcsicmp(param.c_str(), name) != 0) continue;
                // The control asks for the type it wants in value->vt; a
                // param is text, so coerce it to that type.
                const VARTYPE wanted = value->vt;
                UniqueVariant raw;
                raw.get()->vt = VT_BSTR;
                raw.get()->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
                if (!raw.get()->bstrVal) return E_OUTOFMEMORY;
                VariantInit(value);
                if (wanted == VT_EMPTY || wanted == VT_BSTR) return VariantCopy(value, raw.get());
                return VariantChangeType(value, raw.get(), 0, wanted);
            }
            return E_INVALIDARG;
        });
    }

    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    void* Find(REFIID iid) {
        return iid == IID_IUnknown || iid == IID_IPropertyBag ? static_cast<IPropertyBag*>(this) : nullptr;
    }

    std::vector<std::pair<std::wstring, std::wstring>> params_;
};

}  // namespace

ComPtr<IPropertyBag> MakeParamBag(const Params& params) {
    return MakeCom<ParamBag>(params);
}

}  // namespace pagehost
