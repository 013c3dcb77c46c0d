# cmake -DOBJDUMP=<objdump> -DBINARY=<exe or dll> -P check_imports.cmake
#
# Fails unless every DLL the binary imports ships with Windows. The C and C++
# runtimes must be linked in (-static): libstdc++-6.dll, libgcc_s_seh-1.dll
# and libwinpthread-1.dll are not on a user's machine.
set(system_dlls kernel32 user32 gdi32 advapi32 ole32 oleaut32 shell32 version setupapi hid crypt32 msvcrt)
list(JOIN system_dlls "|" system_pattern)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the imports of ${BINARY}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "found no imports in ${BINARY}: is this a Windows binary?")
endif()

set(foreign)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(${system_pattern})\\.dll$" AND NOT dll MATCHES "^api-ms-win-crt-[a-z0-9-]+\\.dll$")
    list(APPEND foreign "${dll}")
  endif()
endforeach()

if(foreign)
  foreach(dll IN LISTS foreign)
    message(NOTICE "not a system DLL: ${dll}")
  endforeach()
  message(FATAL_ERROR "${BINARY} imports DLLs that Windows does not ship")
endif()
message(STATUS "${BINARY}: imports only system DLLs")
