# Running MinGW-built programs under Wine from CTest, beside the fake
# setupapi.dll and hid.dll (tools/fakehid).
#
# The environment of every run: the fakes chosen over Wine's own DLLs, the
# simulated readers of a configuration file, and a time zone far from UTC
# so that a local-time conversion cannot hide. The Wine prefix and display
# come from the calling shell (scripts/wine-env).
# GoogleTest first, in every including directory: gtest_discover_tests
# finds its helper script through a variable of the including scope.
include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/fake_dlls.cmake)
include_guard(GLOBAL)

# veldorinctl_run_under_wine(<target> <config file>): <target> is built
# beside the fakes, and CTest runs it (and lists its tests) under Wine.
function(veldorinctl_run_under_wine target config)
  veldorinctl_beside_fake_dlls(${target})
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;WINEDLLOVERRIDES=setupapi,hid=n,b;TZ=Asia/Shanghai;VELDORINCTL_SIM_CONFIG=${config};wine")
endfunction()

# veldorinctl_add_wine_tests(<target> <config file>): every GoogleTest test of
# <target> becomes a CTest test of its own, run under Wine.
function(veldorinctl_add_wine_tests target config)
  veldorinctl_run_under_wine(${target} ${config})
  # Listing the tests needs Wine, which the build does not start: list them
  # when CTest runs, inside the shell's Wine session.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 120 LABELS wine)
endfunction()
