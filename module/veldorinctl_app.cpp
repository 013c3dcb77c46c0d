#include "module/veldorinctl_app.h"

BOOL CVELDORINCTLApp::InitInstance() {
    return COleControlModule::InitInstance();
}

int CVELDORINCTLApp::ExitInstance() {
    return COleControlModule::ExitInstance();
}
