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
  ${TESTBAY_TESTS}/settings/*.cpp
  ${TESTBAY_TESTS}/automation/*.cpp
  ${TESTBAY_TESTS}/app/*.cpp
  ${TESTBAY_TESTS}/pages/*.cpp
  ${TESTBAY_TESTS}/sim/*.cpp
  ${TESTBAY_TESTS}/tools/*.cpp
  ${TESTBAY_TESTS}/windows/*.cpp)
list(FILTER TESTBAY_WINDOWS_UNIT_TESTS EXCLUDE REGEX "/windows/(com_client|programs)/")
list(REMOVE_ITEM TESTBAY_WINDOWS_UNIT_TESTS
  ${TESTBAY_TESTS}/platform/serial_device_test.cpp
  ${TESTBAY_TESTS}/platform/network_port_test.cpp
  ${TESTBAY_TESTS}/comm/network_channel_test.cpp
  ${TESTBAY_TESTS}/platform/document_viewer_test.cpp
  ${TESTBAY_TESTS}/platform/stop_request_test.cpp
  ${TESTBAY_TESTS}/automation/request_lines_test.cpp
  ${TESTBAY_TESTS}/settings/settings_kill_test.cpp)
add_executable(testbay_unit_tests ${TESTBAY_WINDOWS_UNIT_TESTS})
target_include_directories(testbay_unit_tests PRIVATE ${TESTBAY_TESTS})
target_link_libraries(testbay_unit_tests PRIVATE testbay_core testbay_sim testbay_host_headers gmock gtest_main)

# A COM client's calls, for the COM tests and the COM benchmark.
add_library(com_document_client STATIC ${TESTBAY_TESTS}/windows/com_client/document_client.cpp)
target_include_directories(com_document_client PUBLIC ${TESTBAY_TESTS}/windows)
target_link_libraries(com_document_client PUBLIC ole32 oleaut32 uuid)

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

# testbay.exe as a COM server, registered and created by a client in a prefix of its own.
add_executable(com_client ${TESTBAY_TESTS}/windows/com_client/com_client.cpp)
target_link_libraries(com_client PRIVATE testbay_core com_document_client)
add_test(NAME windows_com_server
  COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/com_server.sh $<TARGET_FILE:testbay> $<TARGET_FILE:com_client>)
set_tests_properties(windows_com_server PROPERTIES TIMEOUT 300 ENVIRONMENT
  "TESTBAY_WINE=${TESTBAY_WINE};WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-com;WINEDEBUG=-all")

# Drives the windows of testbay.exe from a second program, as a user would.
add_executable(window_driver ${TESTBAY_TESTS}/windows/programs/window_driver.cpp)
target_link_libraries(window_driver PRIVATE user32 gdi32 shell32 ole32 uuid)

# End to end: testbay.exe under Wine against the Linux build's virtual relay.
set(TESTBAY_RELAY_PROGRAM "" CACHE FILEPATH "testbay-relay of a Linux build, for the Wine end-to-end tests")
find_program(TESTBAY_PYTHON NAMES python3)
if(TESTBAY_RELAY_PROGRAM AND TESTBAY_PYTHON)
  add_test(NAME windows_e2e COMMAND ${TESTBAY_PYTHON} -m unittest -v test_windows
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/python/tests)
  set_tests_properties(windows_e2e PROPERTIES TIMEOUT 600 ENVIRONMENT
    "TESTBAY_WINDOWS_SERVER=$<TARGET_FILE:testbay>;TESTBAY_RELAY=${TESTBAY_RELAY_PROGRAM};TESTBAY_WINE=${TESTBAY_WINE};TESTBAY_WINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-e2e")
  # VBScript scripts through COM and the same calls through JSON-RPC.
  add_test(NAME windows_scripts COMMAND ${TESTBAY_PYTHON} -m unittest -v test_windows_scripts
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/python/tests)
  set_tests_properties(windows_scripts PROPERTIES TIMEOUT 600 ENVIRONMENT
    "TESTBAY_WINDOWS_SERVER=$<TARGET_FILE:testbay>;TESTBAY_WINDOW_DRIVER=$<TARGET_FILE:window_driver>;TESTBAY_RELAY=${TESTBAY_RELAY_PROGRAM};TESTBAY_WINE=${TESTBAY_WINE};TESTBAY_WINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-scripts")
  # The windows on an X server of their own (Xvfb), driven by window_driver.exe.
  add_test(NAME windows_windows
    COMMAND ${TESTBAY_PYTHON} -m unittest -v test_windows_frame test_windows_sheet test_windows_comm_tests
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/python/tests)
  # Alone, as the installer test: their waits for windows then do not share the
  # machine with the other Wine tests.
  set_tests_properties(windows_windows PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE ENVIRONMENT
    "TESTBAY_WINDOWS_SERVER=$<TARGET_FILE:testbay>;TESTBAY_WINDOW_DRIVER=$<TARGET_FILE:window_driver>;TESTBAY_RELAY=${TESTBAY_RELAY_PROGRAM};TESTBAY_WINE=${TESTBAY_WINE};TESTBAY_WINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-windows")
  # The installer package: its tables, then install, upgrade, downgrade and
  # uninstall with Wine's msiexec.
  if(TESTBAY_WIXL)
    add_test(NAME windows_installer COMMAND ${TESTBAY_PYTHON} -m unittest -v test_windows_installer
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/python/tests)
    set_tests_properties(windows_installer PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE ENVIRONMENT
      "TESTBAY_MSI=${TESTBAY_MSI};TESTBAY_WINDOWS_SERVER=$<TARGET_FILE:testbay>;TESTBAY_WINDOW_DRIVER=$<TARGET_FILE:window_driver>;TESTBAY_RELAY=${TESTBAY_RELAY_PROGRAM};TESTBAY_WINE=${TESTBAY_WINE};TESTBAY_WINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-installer")
  endif()
endif()
