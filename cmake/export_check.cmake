# veldorinctl_check_exports(<target> <def file>): a test (label build-check)
# that fails when the DLL built by <target> does not export the names its
# .def file lists exactly as written: on x86 a __stdcall name is decorated
# unless the link strips it (the i686 toolchain file passes --kill-at).
include(${CMAKE_CURRENT_LIST_DIR}/import_check.cmake)
set(VELDORINCTL_CHECK_EXPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_exports.cmake)

function(veldorinctl_check_exports target def)
  add_test(NAME exports.${target}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VELDORINCTL_OBJDUMP} -DBINARY=$<TARGET_FILE:${target}> -DDEF=${def}
                   -P ${VELDORINCTL_CHECK_EXPORTS_SCRIPT})
  set_tests_properties(exports.${target} PROPERTIES LABELS build-check)
endfunction()
