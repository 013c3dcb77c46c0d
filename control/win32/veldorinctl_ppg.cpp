#include "control/win32/veldorinctl_ppg.h"

const CRuntimeClass CVELDORINCTLPropPage::classCVELDORINCTLPropPage{"CVELDORINCTLPropPage", nullptr,
                                                                   &CreateObjectOf<CVELDORINCTLPropPage>};

std::span<const InterfaceEntry> CVELDORINCTLPropPage::GetInterfaceTable() const {
    static constexpr InterfaceEntry table[] = {InterfaceOf<CVELDORINCTLPropPage, IUnknown>(IID_IUnknown)};
    return table;
}
