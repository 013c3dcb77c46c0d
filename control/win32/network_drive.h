// Whether a drive letter names a network drive: a page opened from one is a
// page from another machine, however local its file: URL looks.
#pragma once

bool IsNetworkDrive(char driveLetter);
