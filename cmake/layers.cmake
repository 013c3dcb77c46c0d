# Layers, enforced by the include path.
#
# No target has the source tree on its include path. Each target gets a
# folder of its own in the build tree, build/<preset>/include/<target>/,
# holding a link to each of its headers under the header's path in the tree;
# so `#include "codec/base64.h"` reads as always, but resolves only in a
# target that links codec (include folders travel with PUBLIC and INTERFACE
# links, as usual). A header of a library you do not link, or one its library
# does not list, is "file not found".
#
# To add a library: add_library(name ...) with its sources, then
#   veldorinctl_headers(name PUBLIC a.h b.h [PRIVATE c.h])
# (paths relative to the current folder), and target_link_libraries for every
# library whose headers it includes: PUBLIC when its own public headers
# include them. Executables list their own headers as PRIVATE. A library that
# must build without Windows headers also calls veldorinctl_portable(name).
include_guard(GLOBAL)

set(VELDORINCTL_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)

# veldorinctl_headers(<target> [PUBLIC <header>...] [PRIVATE <header>...]):
# the headers become sources of <target> and are linked into its include
# folders: PUBLIC ones into the folder its users see (INTERFACE for an
# interface library), PRIVATE ones into a folder only <target> sees.
function(veldorinctl_headers target)
  cmake_parse_arguments(HEADERS "" "" "PUBLIC;PRIVATE" ${ARGN})
  get_target_property(type ${target} TYPE)
  set(public_scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(public_scope INTERFACE)
  elseif(type STREQUAL "EXECUTABLE")
    set(public_scope PRIVATE)  # nothing links an executable
  endif()
  foreach(scope PUBLIC PRIVATE)
    if(NOT HEADERS_${scope})
      continue()
    endif()
    set(root ${VELDORINCTL_INCLUDE_ROOT}/${target})
    set(include_scope ${public_scope})
    if(scope STREQUAL "PRIVATE")
      set(root ${VELDORINCTL_INCLUDE_ROOT}/${target}.private)
      set(include_scope PRIVATE)
    endif()
    # Afresh at every configure, so that a header moved away is gone.
    get_property(seen GLOBAL PROPERTY VELDORINCTL_HEADERS_${target}_${scope})
    if(NOT seen)
      file(REMOVE_RECURSE ${root})
      set_property(GLOBAL PROPERTY VELDORINCTL_HEADERS_${target}_${scope} TRUE)
    endif()
    foreach(header ${HEADERS_${scope}})
      cmake_path(ABSOLUTE_PATH header BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE source)
      if(NOT EXISTS ${source})
        message(FATAL_ERROR "${target}: no header ${source}")
      endif()
      cmake_path(RELATIVE_PATH source BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE relative)
      cmake_path(GET relative PARENT_PATH folder)
      file(MAKE_DIRECTORY ${root}/${folder})
      file(CREATE_LINK ${source} ${root}/${relative} SYMBOLIC)
      target_sources(${target} PRIVATE ${source})
    endforeach()
    target_include_directories(${target} ${include_scope} ${root})
  endforeach()
endfunction()

# veldorinctl_portable(<target>): <target> builds on every platform, so its
# own sources must not include Windows headers. In the Windows build they
# find, ahead of the system's, headers of the same names that stop the build.
# (Natively there are no Windows headers to include.)
set(VELDORINCTL_WINDOWS_HEADER_GUARD ${CMAKE_BINARY_DIR}/portable_guard)
set(VELDORINCTL_GUARDED_HEADERS
    windows.h windef.h winbase.h winnt.h winuser.h wingdi.h winreg.h winerror.h wincrypt.h
    winsock2.h ws2tcpip.h objbase.h ole2.h oleauto.h olectl.h ocidl.h oaidl.h unknwn.h
    setupapi.h hidsdi.h hidpi.h wrl.h wrl/client.h)
foreach(header ${VELDORINCTL_GUARDED_HEADERS})
  file(CONFIGURE OUTPUT ${VELDORINCTL_WINDOWS_HEADER_GUARD}/${header} CONTENT
       "#error \"<${header}> in portable code: move the Windows part into a win32/ target\"\n")
endforeach()

function(veldorinctl_portable target)
  if(WIN32)
    target_include_directories(${target} BEFORE PRIVATE ${VELDORINCTL_WINDOWS_HEADER_GUARD})
  endif()
endfunction()
