# Where the stand-in setupapi.dll and hid.dll (tools/fakehid), and
# veldorinsim.dll behind them, are built; a program that is to use them is
# built there too, so that it finds them first. Under Wine it selects them
# with WINEDLLOVERRIDES=setupapi,hid=n,b.
include_guard(GLOBAL)

set(VELDORINCTL_FAKE_DLL_DIR ${CMAKE_BINARY_DIR}/bin CACHE INTERNAL "Where the fake platform DLLs are built")

# veldorinctl_beside_fake_dlls(<target>): builds <target> beside the fake DLLs.
function(veldorinctl_beside_fake_dlls target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELDORINCTL_FAKE_DLL_DIR})
  add_dependencies(${target} veldorinsim fake_setupapi fake_hid)
endfunction()
