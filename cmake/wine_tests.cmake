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

# Whether this build's programs can run under Wine on this machine: x64 ones
# can; x86 ones only where 32-bit programs run at all (scripts/can-run-32bit).
# (A cache entry, unlike a variable, is seen by every directory that includes
# this file, not only by the first.)
set(wine_runs_this_build TRUE)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/can-run-32bit RESULT_VARIABLE can_run_32bit)
  if(NOT can_run_32bit EQUAL 0)
    set(wine_runs_this_build FALSE)
    message(STATUS "This machine cannot run 32-bit programs: the x86 tests under Wine are built, not listed")
  endif()
endif()
set(VELDORINCTL_WINE_RUNS_THIS_BUILD ${wine_runs_this_build} CACHE INTERNAL "Whether Wine runs this build's programs here")

# veldorinctl_discover_wine_tests(<target> <gtest_discover_tests options>):
# lists <target>'s GoogleTest tests when CTest runs, under Wine, inside the
# shell's Wine session, each test to run in a process of its own. Where this
# build's programs cannot run, listing them would fail every CTest run of the
# build, even one that selects none of them: there one disabled test stands
# for them in CTest's list. The x86 build runs its tests a suite to a process
# instead (veldorinctl_add_wine_test_suites).
function(veldorinctl_discover_wine_tests target)
  if(NOT VELDORINCTL_WINE_RUNS_THIS_BUILD)
    add_test(NAME ${target}.not_run COMMAND ${target})
    set_tests_properties(${target}.not_run PROPERTIES LABELS wine DISABLED TRUE)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    veldorinctl_add_wine_test_suites(${target} ${ARGN})
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST ${ARGN})
  endif()
endfunction()

# veldorinctl_add_wine_test_suites(<target> [DISCOVERY_TIMEOUT <s>]
#                                  [PROPERTIES <name> <value>...]):
# one CTest test, <target>.<suite>, for each test suite that <target>'s
# sources define with TEST or TEST_F, running that suite's tests in one
# process; and <target>.other for any test those names miss, so that every
# test runs. The x86 programs start under emulation, at about 2 s a process:
# a process for each of some 180 tests would cost more than the tests
# themselves. (The x64 build runs each test alone.) A suite's time limit is
# the one given for a test, times its number of tests, up to 900 s, or up to
# the one for a test where that is longer (the soak tests).
function(veldorinctl_add_wine_test_suites target)
  cmake_parse_arguments(arg "" "DISCOVERY_TIMEOUT" "PROPERTIES" ${ARGN})
  set(per_test_timeout 120)
  list(FIND arg_PROPERTIES TIMEOUT at)
  if(at GREATER -1)
    math(EXPR at "${at} + 1")
    list(GET arg_PROPERTIES ${at} per_test_timeout)
  endif()
  set(suite_timeout_cap 900)
  if(per_test_timeout GREATER suite_timeout_cap)
    set(suite_timeout_cap ${per_test_timeout})
  endif()

  # The suite of every test, once per test.
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(suite_of_each_test)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir})
    if(NOT source MATCHES "\\.cpp$")
      continue()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(STRINGS ${source} definitions REGEX "^TEST(_F)?\\([A-Za-z0-9_]+,")
    foreach(definition IN LISTS definitions)
      string(REGEX REPLACE "^TEST(_F)?\\(([A-Za-z0-9_]+),.*" "\\2" suite "${definition}")
      list(APPEND suite_of_each_test ${suite})
    endforeach()
  endforeach()

  set(suites ${suite_of_each_test})
  list(REMOVE_DUPLICATES suites)
  set(listed)
  foreach(suite IN LISTS suites)
    set(tests_of_suite ${suite_of_each_test})
    list(FILTER tests_of_suite INCLUDE REGEX "^${suite}$")
    list(LENGTH tests_of_suite count)
    math(EXPR timeout "${per_test_timeout} * ${count}")
    if(timeout GREATER suite_timeout_cap)
      set(timeout ${suite_timeout_cap})
    endif()
    add_test(NAME ${target}.${suite} COMMAND ${target} --gtest_filter=${suite}.*)
    set_tests_properties(${target}.${suite} PROPERTIES ${arg_PROPERTIES})
    set_tests_properties(${target}.${suite} PROPERTIES TIMEOUT ${timeout})
    list(APPEND listed "${suite}.*")
  endforeach()
  list(JOIN listed ":" listed)
  add_test(NAME ${target}.other COMMAND ${target} --gtest_filter=-${listed})
  set_tests_properties(${target}.other PROPERTIES ${arg_PROPERTIES})
endfunction()

# veldorinctl_run_under_wine(<target> <config file>): <target> is built
# beside the fakes, and CTest runs it (and lists its tests) under Wine.
function(veldorinctl_run_under_wine target config)
  veldorinctl_beside_fake_dlls(${target})
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;WINEDLLOVERRIDES=setupapi,hid=n,b;TZ=Asia/Shanghai;VELDORINCTL_SIM_CONFIG=${config};${VELDORINCTL_WINE}")
endfunction()

# veldorinctl_add_wine_tests(<target> <config file>): every GoogleTest test of
# <target> becomes a CTest test of its own, run under Wine.
function(veldorinctl_add_wine_tests target config)
  veldorinctl_run_under_wine(${target} ${config})
  # Listing the tests needs Wine, which the build does not start.
  veldorinctl_discover_wine_tests(${target} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 120 LABELS wine)
endfunction()

# veldorinctl_disable_wine_tests_here(): where this build's programs cannot
# run, the tests of the calling directory that carry the label `wine` are
# disabled (CTest lists them as not run) rather than left to fail. Called at
# the end of a directory's CMakeLists.txt.
function(veldorinctl_disable_wine_tests_here)
  if(VELDORINCTL_WINE_RUNS_THIS_BUILD)
    return()
  endif()
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} LABELS labels)
    if("wine" IN_LIST labels)
      set_tests_properties(${test} PROPERTIES DISABLED TRUE)
    endif()
  endforeach()
endfunction()
