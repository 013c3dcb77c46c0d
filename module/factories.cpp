// The two class factories: what they create, under which ids, and the
// registry entries each writes and removes.
#include <windows.h>

#include "control/win32/veldorinctl_ctrl.h"
#include "control/win32/veldorinctl_ppg.h"
#include "framework/class_registration.h"
#include "framework/module_state.h"
#include "resources/guids.h"
#include "resources/resource.h"

namespace {

constexpr char kControlProgId[] = "VELDORINCTL.VELDORINCTLCtrl.1";
// Held by the page's factory, never written to the registry.
constexpr char kPropPageProgId[] = "VELDORINCTL.VELDORINCTLPropPage.1";

}  // namespace

CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::CVELDORINCTLCtrlFactory()
    : COleObjectFactory(CLSID_VELDORINCTL, &CVELDORINCTLCtrl::classCVELDORINCTLCtrl, FALSE, kControlProgId) {}

CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::~CVELDORINCTLCtrlFactory() = default;

BOOL CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory::UpdateRegistry(BOOL bRegister) {
    if (!bRegister) return AfxOleUnregisterClass(GetClassID(), GetProgID());
    return AfxOleRegisterControlClass(AfxGetInstanceHandle(), GetClassID(), GetProgID(), IDS_VELDORINCTL,
                                      IDB_VELDORINCTL, afxRegApartmentThreading, CVELDORINCTLCtrl::kMiscStatus,
                                      LIBID_VELDORINCTLLib, kVeldorinctlTypeLibMajor, kVeldorinctlTypeLibMinor);
}

CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::CVELDORINCTLPropPageFactory()
    : COleObjectFactory(CLSID_VELDORINCTLPropPage, &CVELDORINCTLPropPage::classCVELDORINCTLPropPage, FALSE,
                        kPropPageProgId) {}

CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::~CVELDORINCTLPropPageFactory() = default;

BOOL CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory::UpdateRegistry(BOOL bRegister) {
    if (!bRegister) return AfxOleUnregisterClass(GetClassID(), nullptr);
    return AfxOleRegisterPropertyPageClass(AfxGetInstanceHandle(), GetClassID(), IDS_VELDORINCTL_PPG, afxRegDefault);
}
