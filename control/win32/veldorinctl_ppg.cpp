#include "control/win32/veldorinctl_ppg.h"

#include "resources/guids.h"
#include "resources/resource.h"

const CRuntimeClass CVELDORINCTLPropPage::classCVELDORINCTLPropPage{"CVELDORINCTLPropPage", nullptr,
                                                                    &CreateObjectOf<CVELDORINCTLPropPage>};

CVELDORINCTLPropPage::CVELDORINCTLPropPage()
    : COlePropertyPage(IDD_PROPPAGE_VELDORINCTL, IDS_VELDORINCTL_PPG_CAPTION) {}

HRESULT CVELDORINCTLPropPage::GetClassID(CLSID* classId) {
    if (!classId) return E_POINTER;
    *classId = CLSID_VELDORINCTLPropPage;
    return S_OK;
}

void CVELDORINCTLPropPage::DoDataExchange(CDataExchange* exchange) {
    DDP_PostProcessing(exchange);
}
