// The two class factories: what they create, under which ids, and the
// registry entries each writes and removes (module/registry_table.h).
#include <windows.h>

#include "control/win32/veldorinctl_ctrl.h"
#include "control/win32/veldorinctl_ppg.h"
#include "framework/class_registration.h"
#include "framework/module_state.h"
#include "module/registry_table.h"
#include "resources/guids.h"

namespace {

using namespace veldorinctl::registration;

// Held by the page's factory, never written to the registry.
constexpr char kPropPageProgId[] = "VELDORINCTL.VELDORINCTLPropPage.1";

constexpr DWORD Decimal(const char* text) {
    DWORD value = 0;
    for (; *text; ++text) value = value * 10 + static_cast<DWORD>(*text - '0');
    return value;
}
static_assert(Decimal(kControlMiscStatus) == CVELDORINCTLCtrl::kMiscStatus,
              "the registry tells containers the status the control gives");

}  // namespace

CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::CVELDORINCTLCtrlFactory()
    : COleObjectFactory(CLSID_VELDORINCTL, &CVELDORINCTLCtrl::classCVELDORINCTLCtrl, FALSE, kControlProgId) {}

CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::~CVELDORINCTLCtrlFactory() = default;

BOOL CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::UpdateRegistry(BOOL bRegister) {
    if (!bRegister) return AfxOleUnregisterClass(GetClassID(), GetProgID());
    return AfxOleRegisterClass(AfxGetInstanceHandle(), GetClassID(), GetProgID(), kControlEntries);
}

CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::CVELDORINCTLPropPageFactory()
    : COleObjectFactory(CLSID_VELDORINCTLPropPage, &CVELDORINCTLPropPage::classCVELDORINCTLPropPage, FALSE,
                        kPropPageProgId) {}

CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::~CVELDORINCTLPropPageFactory() = default;

BOOL CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::UpdateRegistry(BOOL bRegister) {
    if (!bRegister) return AfxOleUnregisterClass(GetClassID(), nullptr);
    return AfxOleRegisterClass(AfxGetInstanceHandle(), GetClassID(), nullptr, kPropPageEntries);
}
