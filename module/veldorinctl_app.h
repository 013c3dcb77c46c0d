// CVELDORINCTLApp: the module object of VELDORINCTL.OCX.
#pragma once

#include <windows.h>

#include "framework/control_module.h"

class CVELDORINCTLApp : public COleControlModule {
public:
    ~CVELDORINCTLApp() override = default;
    BOOL InitInstance() override;
    int ExitInstance() override;
};

extern CVELDORINCTLApp theApp;
