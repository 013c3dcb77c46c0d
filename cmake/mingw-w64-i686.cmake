# Cross build for 32-bit Windows (x86), for 32-bit containers and browser
# tabs. The DLLs' __stdcall exports (DllGetClassObject, the fake SetupAPI and
# HID functions) are exported under their plain names, as the .def files
# write them and as GetProcAddress looks them up, not as _Name@N: the linker
# matches each .def name to its decorated symbol (stdcall fixup, asked for so
# that it does so without a warning) and strips the decoration (kill-at).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELDORINCTL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--enable-stdcall-fixup,--kill-at")
