# veldorinctl_check_imports(<target>): a test (label build-check) that fails
# when the Windows binary built by <target> would not load on a stock
# Windows: when it imports anything but system DLLs, a MinGW runtime DLL
# included.
find_program(VELDORINCTL_OBJDUMP NAMES ${VELDORINCTL_MINGW_TRIPLE}-objdump ${CMAKE_OBJDUMP} REQUIRED)
set(VELDORINCTL_CHECK_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)

function(veldorinctl_check_imports target)
  add_test(NAME imports.${target}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VELDORINCTL_OBJDUMP} -DBINARY=$<TARGET_FILE:${target}>
                   -P ${VELDORINCTL_CHECK_IMPORTS_SCRIPT})
  set_tests_properties(imports.${target} PROPERTIES LABELS build-check)
endfunction()
