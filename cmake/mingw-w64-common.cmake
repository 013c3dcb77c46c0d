# Cross build for Windows with MinGW-w64 (posix thread model, so that
# std::thread and std::mutex work), runtimes linked statically. Included by
# the toolchain file of each architecture after it set VELDORINCTL_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELDORINCTL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELDORINCTL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELDORINCTL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELDORINCTL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# The Wine loader of this architecture, named: once the 32-bit Wine is
# installed, plain `wine` is the 32-bit loader, which would start every x64
# program through itself (slowly, where 32-bit programs run under
# emulation). Every test command that runs a built program uses it.
if(VELDORINCTL_MINGW_TRIPLE MATCHES "^x86_64")
  set(VELDORINCTL_WINE /usr/lib/wine/wine64)
else()
  set(VELDORINCTL_WINE /usr/lib/wine/wine)
endif()
if(NOT EXISTS ${VELDORINCTL_WINE})
  set(VELDORINCTL_WINE wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELDORINCTL_WINE})
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 UNICODE _UNICODE)
