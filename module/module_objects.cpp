// The module's static objects, in one translation unit so that their order
// is fixed: the module object, the control's factory, the property page's
// factory. Each factory puts itself at the head of the factory list, so the
// page's comes first there; destruction runs in the reverse order.
#include "control/win32/veldorinctl_ctrl.h"
#include "control/win32/veldorinctl_ppg.h"
#include "module/veldorinctl_app.h"

CVELDORINCTLApp theApp;
CVELDORINCTLCtrl::CVELDORINCTLCtrlFactory CVELDORINCTLCtrl::factory;
CVELDORINCTLPropPage::CVELDORINCTLPropPageFactory CVELDORINCTLPropPage::factory;
