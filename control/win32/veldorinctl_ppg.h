// CVELDORINCTLPropPage: the control's property page class, as far as the
// module needs it to hand out and register the page's class.
//
// For now the page is a bare COM object: its factory creates it and counts
// it among the module's live objects, but it answers only IUnknown. Its
// IPropertyPage on dialog 200 comes with the control's property page UI.
#pragma once

#include <windows.h>

#include <span>

#include "framework/cmd_target.h"
#include "framework/object_factory.h"
#include "framework/runtime_class.h"

class CVELDORINCTLPropPage final : public ComObjectRoot<IUnknown> {
public:
    CVELDORINCTLPropPage() = default;

    static const CRuntimeClass classCVELDORINCTLPropPage;

    class CVELDORINCTLPropPageFactory : public COleObjectFactory {
    public:
        CVELDORINCTLPropPageFactory();
        ~CVELDORINCTLPropPageFactory() override;
        BOOL UpdateRegistry(BOOL bRegister) override;
    };
    static CVELDORINCTLPropPageFactory factory;

private:
    ~CVELDORINCTLPropPage() override = default;
    std::span<const InterfaceEntry> GetInterfaceTable() const override;
};
