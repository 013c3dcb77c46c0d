# cmake -DOBJDUMP=<objdump> -DBINARY=<dll> -DDEF=<def file> -P check_exports.cmake
#
# Fails unless the DLL exports every name its .def file lists, under exactly
# that name. An x86 __stdcall function is decorated (_Name@8) unless the link
# strips the decoration, and GetProcAddress(module, "Name") then finds nothing:
# COM could not load the OCX, nor a program the stand-in hid.dll.
cmake_minimum_required(VERSION 3.25)
file(STRINGS ${DEF} def_lines)
set(expected)
set(in_exports FALSE)
foreach(line IN LISTS def_lines)
  string(REGEX REPLACE ";.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "EXPORTS")
    set(in_exports TRUE)
  elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
    list(APPEND expected ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT expected)
  message(FATAL_ERROR "${DEF} lists no exports")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the exports of ${BINARY}")
endif()
# objdump lists the names after "[Ordinal/Name Pointer] Table", one
# "\t[   n] Name" a line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" names_at)
if(names_at EQUAL -1)
  message(FATAL_ERROR "${BINARY} has no export names")
endif()
string(SUBSTRING "${dump}" ${names_at} -1 name_table)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\r\n]+" rows "${name_table}")
set(exported)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exported "${name}")
endforeach()

set(missing)
foreach(name IN LISTS expected)
  if(NOT name IN_LIST exported)
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  message(NOTICE "exported: ${exported}")
  message(FATAL_ERROR "${BINARY} does not export ${missing} under the names ${DEF} gives")
endif()
message(STATUS "${BINARY}: exports ${expected}")
