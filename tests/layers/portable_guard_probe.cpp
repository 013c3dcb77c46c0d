// Portable code that includes a Windows header: the build must refuse it
// (tests/layers/CMakeLists.txt builds this as a portable library and expects
// the guard's error).
#include <windows.h>

int PortableGuardProbe() {
    return static_cast<int>(sizeof(HANDLE));
}
