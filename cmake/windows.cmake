# The Windows build (cmake/mingw-w64.cmake): the core library with the
# Windows platform layer, testbay.exe with its Win32 windows and automation,
# and the portable unit tests; the tests run under Wine when it is there.

# src/platform/<name>_win.cpp takes the place of src/platform/<name>.cpp;
# the pseudo-terminal, termios2, helper-process and device-holder code has no
# counterpart.
set(TESTBAY_POSIX_ONLY termios2 pseudo_terminal child_process device_holder)
foreach(source ${TESTBAY_PLATFORM_SOURCES})
  if(source MATCHES "/src/platform/(.*)_win\\.cpp$")
    list(APPEND TESTBAY_POSIX_ONLY ${CMAKE_MATCH_1})
  endif()
endforeach()
foreach(name ${TESTBAY_POSIX_ONLY})
  list(REMOVE_ITEM TESTBAY_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/src/platform/${name}.cpp)
endforeach()

# Header-only packages from the build machine, without its system headers.
set(TESTBAY_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${TESTBAY_HOST_HEADERS})
foreach(package nlohmann CLI)
  file(CREATE_LINK /usr/include/${package} ${TESTBAY_HOST_HEADERS}/${package} SYMBOLIC)
endforeach()
add_library(testbay_host_headers INTERFACE)
target_include_directories(testbay_host_headers SYSTEM INTERFACE ${TESTBAY_HOST_HEADERS})

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
  _POSIX_THREAD_SAFE_FUNCTIONS=200112L)  # localtime_r and gmtime_r

testbay_add_layers()
target_link_libraries(testbay_platform PUBLIC Threads::Threads advapi32 shell32 ole32 oleaut32 uuid user32 ws2_32)
target_link_libraries(testbay_automation PRIVATE testbay_host_headers)

# The Win32 windows (*_view_win.cpp) above every layer, over the same logic
# classes as the Qt windows; their dialogs, bitmaps and icon are resources.
enable_language(RC)
file(GLOB_RECURSE TESTBAY_WIN_VIEW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*_view_win.cpp)
add_library(testbay_win_views STATIC ${TESTBAY_WIN_VIEW_SOURCES})
target_link_libraries(testbay_win_views PUBLIC testbay_core comctl32 comdlg32 gdi32)

# The build does not see what the resource script includes: name it.
file(GLOB_RECURSE TESTBAY_WIN_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*_view_win.rc
  ${CMAKE_SOURCE_DIR}/src/*_view_ids.h ${CMAKE_SOURCE_DIR}/src/app/frame_commands.h
  ${CMAKE_SOURCE_DIR}/src/*/resources/*)
set_source_files_properties(src/app/testbay_win.rc PROPERTIES OBJECT_DEPENDS "${TESTBAY_WIN_RESOURCES}")

# A program of the Windows subsystem: a start by COM opens no console.
add_executable(testbay WIN32 src/app/console_main.cpp src/app/testbay_win.rc)
target_include_directories(testbay PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(testbay PRIVATE testbay_win_views)
# In a build tree the windows' Help finds the README beside the program.
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.md SYMBOLIC COPY_ON_ERROR)

# The installer package, testbay-<version>-x64.msi (cmake/testbay.wxs), part of
# every build where wixl is installed.
find_program(TESTBAY_WIXL NAMES wixl)
set(TESTBAY_MSI ${CMAKE_BINARY_DIR}/testbay-${PROJECT_VERSION}-x64.msi)
add_custom_command(OUTPUT ${TESTBAY_MSI}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/build_msi ${PROJECT_VERSION} $<TARGET_FILE:testbay> ${TESTBAY_MSI}
  DEPENDS testbay ${CMAKE_SOURCE_DIR}/scripts/build_msi ${CMAKE_SOURCE_DIR}/cmake/testbay.wxs
    ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/man/testbay.1 ${CMAKE_SOURCE_DIR}/src/app/resources/testbay.ico
  VERBATIM)
if(TESTBAY_WIXL)
  add_custom_target(msi ALL DEPENDS ${TESTBAY_MSI})
else()
  add_custom_target(msi DEPENDS ${TESTBAY_MSI})
endif()

# The relay model on the in-memory line (its pseudo-terminal host stays on Linux).
file(GLOB TESTBAY_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
list(FILTER TESTBAY_SIM_SOURCES EXCLUDE REGEX ".*/(main|pty_host)\\.cpp$")
add_library(testbay_sim STATIC ${TESTBAY_SIM_SOURCES})
target_include_directories(testbay_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(testbay_sim PUBLIC testbay_protocol)

enable_testing()
include(${CMAKE_SOURCE_DIR}/cmake/windows_tests.cmake)

if(TESTBAY_BENCH)
  add_executable(exchange_bench_win bench/exchange_bench_win.cpp)
  target_link_libraries(exchange_bench_win PRIVATE testbay_core)
  add_executable(silent_wait_bench_win bench/silent_wait_bench_win.cpp)
  target_link_libraries(silent_wait_bench_win PRIVATE testbay_core)
  add_executable(com_bench_win bench/com_bench_win.cpp)
  target_link_libraries(com_bench_win PRIVATE com_document_client)
  if(TESTBAY_WINE AND TESTBAY_RELAY_PROGRAM)
    # A short run keeps the benchmark working; its figures are not checked.
    add_test(NAME windows_com_bench_runs COMMAND ${CMAKE_SOURCE_DIR}/bench/com_bench_win.sh
      ${CMAKE_BINARY_DIR} ${TESTBAY_RELAY_PROGRAM} 20 1)
    set_tests_properties(windows_com_bench_runs PROPERTIES TIMEOUT 300 ENVIRONMENT "TESTBAY_WINE=${TESTBAY_WINE}")
  endif()
endif()
