# cmake -DTYPELIB=<.tlb> -DPLATFORM=win32|win64 -P check_typelib_platform.cmake
#
# Fails unless the type library was made for PLATFORM. RegisterTypeLib files
# a library under the platform key its SYSKIND names, whatever the bitness of
# the process registering it: an x86 OCX carrying a win64 library would
# register (and unregister) the x64 control's key.
cmake_minimum_required(VERSION 3.25)
file(READ ${TYPELIB} header HEX LIMIT 24)
# An MSFT type library: "MSFT", then five 32-bit little-endian fields; the
# sixth (offset 0x14) holds the SYSKIND in its lowest 4 bits.
if(NOT header MATCHES "^4d534654")
  message(FATAL_ERROR "${TYPELIB} is not an MSFT type library")
endif()
string(SUBSTRING "${header}" 40 2 flags_low_byte)
math(EXPR syskind "0x${flags_low_byte} & 0xF")
if(syskind EQUAL 1)
  set(platform win32)
elseif(syskind EQUAL 3)
  set(platform win64)
else()
  set(platform "SYSKIND ${syskind}")
endif()
if(NOT platform STREQUAL PLATFORM)
  message(FATAL_ERROR "${TYPELIB} is made for ${platform}, not ${PLATFORM}")
endif()
message(STATUS "${TYPELIB}: made for ${platform}")
