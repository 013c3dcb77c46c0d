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
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 UNICODE _UNICODE)
