#include "control/win32/network_drive.h"

#include <windows.h>

bool IsNetworkDrive(char driveLetter) {
    const wchar_t root[] = {static_cast<wchar_t>(driveLetter), L':', L'\\', L'\0'};
    return ::GetDriveTypeW(root) == DRIVE_REMOTE;
}
