# veldorinctl_check_imports(<target>): a test that fails when the Windows
# binary built by <target> would not load on a stock Windows: when it
# imports anything but system DLLs, a MinGW runtime DLL included.
find_program(VELDORINCTL_OBJDUMP NAMES x86_64-w64-mingw32-objdump ${CMAKE_OBJDUMP} REQUIRED)
set(VELDORINCTL_CHECK_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)

function(veldorinctl_check_imports target)
  add_test(NAME imports.${target}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VELDORINCTL_OBJDUMP} -DBINARY=$<TARGET_FILE:${target}>
                   -P ${VELDORINCTL_CHECK_IMPORTS_SCRIPT})
endfunction()
