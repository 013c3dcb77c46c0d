// The base of a property page: IPropertyPage over a dialog resource of the
// module, shown as a child of the frame's page area, with its caption from
// the module's string table.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <span>
#include <vector>

#include "framework/cmd_target.h"
#include "win32/unique_window.h"

// What a page's DoDataExchange is given: whether the page's controls are
// being saved into the objects (Apply) or filled from them (Activate).
struct CDataExchange {
    bool m_bSaveAndValidate;
};

// The exchange's closing step: carries the values gathered by the page's
// DDP_ calls over to the objects. A page without properties has none.
void DDP_PostProcessing(CDataExchange* exchange);

class COlePropertyPage : public ComObjectRoot<IPropertyPage> {
public:
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT area, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT command) override;
    STDMETHODIMP Move(LPCRECT area) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR helpDir) override;
    STDMETHODIMP TranslateAccelerator(MSG* message) override;

    // The page's own class id.
    virtual HRESULT GetClassID(CLSID* classId) = 0;

protected:
    COlePropertyPage(UINT dialogId, UINT captionId);
    ~COlePropertyPage() override;

    virtual void DoDataExchange(CDataExchange* exchange);

private:
    std::span<const InterfaceEntry> GetInterfaceTable() const override;
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    const UINT m_dialogId;
    const UINT m_captionId;
    Microsoft::WRL::ComPtr<IPropertyPageSite> m_site;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> m_objects;
    UniqueWindow m_dialog;  // while active
};
