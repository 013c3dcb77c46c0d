// CVELDORINCTLPropPage: the control's one property page, dialog 200 under the
// caption "General". It holds a placeholder text and exchanges no property.
#pragma once

#include <windows.h>

#include "framework/object_factory.h"
#include "framework/property_page.h"
#include "framework/runtime_class.h"

class CVELDORINCTLPropPage final : public COlePropertyPage {
public:
    CVELDORINCTLPropPage();

    static const CRuntimeClass classCVELDORINCTLPropPage;

    class CVELDORINCTLPropPageFactory : public COleObjectFactory {
    public:
        CVELDORINCTLPropPageFactory();
        ~CVELDORINCTLPropPageFactory() override;
        BOOL UpdateRegistry(BOOL bRegister) override;
    };
    static CVELDORINCTLPropPageFactory factory;

    HRESULT GetClassID(CLSID* classId) override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;

private:
    ~CVELDORINCTLPropPage() override = default;
};
