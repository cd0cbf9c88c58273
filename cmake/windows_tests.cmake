# Windows unit tests: GoogleTest from the Debian sources (package googletest)
# built with the cross compiler, the portable test sources, and tests that
# run under Wine.
set(TESTBAY_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TESTBAY_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Everything but the pseudo-terminal tests, the tests that fork or kill
# processes, and the window tests.
set(TESTBAY_TESTS ${CMAKE_SOURCE_DIR}/tests)
file(GLOB_RECURSE TESTBAY_WINDOWS_UNIT_TESTS CONFIGURE_DEPENDS
  ${TESTBAY_TESTS}/platform/*.cpp
  ${TESTBAY_TESTS}/comm/*.cpp
  ${TESTBAY_TESTS}/hwt/*.cpp
  ${TESTBAY_TESTS}/device/*.cpp
  ${TESTBAY_TESTS}/bootlink/*.cpp
  ${TESTBAY_TESTS}/app/*.cpp
  ${TESTBAY_TESTS}/pages/*.cpp
  ${TESTBAY_TESTS}/sim/*.cpp
  ${TESTBAY_TESTS}/tools/*.cpp
  ${TESTBAY_TESTS}/windows/*.cpp)
list(REMOVE_ITEM TESTBAY_WINDOWS_UNIT_TESTS
  ${TESTBAY_TESTS}/platform/serial_device_test.cpp
  ${TESTBAY_TESTS}/app/settings_kill_test.cpp)
add_executable(testbay_unit_tests ${TESTBAY_WINDOWS_UNIT_TESTS})
target_include_directories(testbay_unit_tests PRIVATE ${TESTBAY_TESTS})
target_link_libraries(testbay_unit_tests PRIVATE testbay_sim testbay_host_headers gmock gtest_main)

# Wine runs the Windows programs from Linux, each test in the prefix below
# this build folder.
find_program(TESTBAY_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(NOT TESTBAY_WINE)
  message(STATUS "Wine not found: the Windows tests are built but not run")
  return()
endif()
set(TESTBAY_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/windows/under_wine.sh)
# A German user (Austria), so that the start-up tests see the language come from the system.
set(TESTBAY_WINE_ENVIRONMENT
  "TESTBAY_WINE=${TESTBAY_WINE};WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;LC_ALL=de_AT.UTF-8")
add_test(NAME windows_unit_tests COMMAND ${TESTBAY_WINE_RUN} $<TARGET_FILE:testbay_unit_tests>)
set_tests_properties(windows_unit_tests PROPERTIES TIMEOUT 600 ENVIRONMENT "${TESTBAY_WINE_ENVIRONMENT}")
