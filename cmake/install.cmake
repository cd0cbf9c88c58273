# cmake --install and the Debian package (cmake --build build --target package).
# Both follow the Linux file-system layout.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
include(GNUInstallDirs)

set(TESTBAY_PYTHON_DIR "lib/python3/dist-packages" CACHE STRING
  "Where the Python package goes, below the prefix (Debian's Python looks in /usr/lib/python3/dist-packages)")
set(TESTBAY_PYTHON_INTERPRETER "/usr/bin/python3" CACHE FILEPATH "The Python that runs the installed scripts")
set(TESTBAY_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/testbay")
set(TESTBAY_GENERATED_DIR "${CMAKE_BINARY_DIR}/install")
set(TESTBAY_MAINTAINER "Testbay developers <testbay@example.org>")

install(TARGETS testbay testbay-relay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The Python package, with the metadata that pip would write, so that its
# console scripts and its pytest plugin are found as after pip install.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/testbay DESTINATION ${TESTBAY_PYTHON_DIR}
  FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)

file(STRINGS ${CMAKE_SOURCE_DIR}/python/pyproject.toml TESTBAY_PYPROJECT)
set(TESTBAY_PYTHON_SUMMARY "")
set(TESTBAY_PYTHON_REQUIRES "")
set(TESTBAY_ENTRY_POINTS "")
set(TESTBAY_CONSOLE_SCRIPTS "")
set(section "")
foreach(line IN LISTS TESTBAY_PYPROJECT)
  if(line MATCHES "^\\[project\\.scripts\\]")
    set(section console_scripts)
    string(APPEND TESTBAY_ENTRY_POINTS "[console_scripts]\n")
  elseif(line MATCHES "^\\[project\\.entry-points\\.\"?([^]\"]+)\"?\\]")
    set(section ${CMAKE_MATCH_1})
    string(APPEND TESTBAY_ENTRY_POINTS "[${section}]\n")
  elseif(line MATCHES "^\\[")
    set(section "")
  elseif(section STREQUAL "" AND line MATCHES "^description *= *\"(.*)\"$")
    set(TESTBAY_PYTHON_SUMMARY "${CMAKE_MATCH_1}")
  elseif(section STREQUAL "" AND line MATCHES "^requires-python *= *\"(.*)\"$")
    set(TESTBAY_PYTHON_REQUIRES "${CMAKE_MATCH_1}")
  elseif(section AND line MATCHES "^\"?([^\" =]+)\"? *= *\"([^\"]+)\"")
    string(APPEND TESTBAY_ENTRY_POINTS "${CMAKE_MATCH_1} = ${CMAKE_MATCH_2}\n")
    if(section STREQUAL "console_scripts")
      list(APPEND TESTBAY_CONSOLE_SCRIPTS "${CMAKE_MATCH_1}=${CMAKE_MATCH_2}")
    endif()
  endif()
endforeach()

set(dist_info ${TESTBAY_GENERATED_DIR}/testbay-${PROJECT_VERSION}.dist-info)
file(WRITE ${dist_info}/METADATA
  "Metadata-Version: 2.1\nName: testbay\nVersion: ${PROJECT_VERSION}\nSummary: ${TESTBAY_PYTHON_SUMMARY}\n"
  "Requires-Python: ${TESTBAY_PYTHON_REQUIRES}\n")
file(WRITE ${dist_info}/entry_points.txt "${TESTBAY_ENTRY_POINTS}")
file(WRITE ${dist_info}/top_level.txt "testbay\n")
install(DIRECTORY ${dist_info} DESTINATION ${TESTBAY_PYTHON_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/python_package.cmake)
install(FILES ${TESTBAY_PYTHON_STUB} DESTINATION ${TESTBAY_PYTHON_DIR}/testbay)

foreach(script IN LISTS TESTBAY_CONSOLE_SCRIPTS)
  string(REGEX MATCH "^([^=]+)=([^:]+):(.+)$" parts "${script}")
  file(WRITE ${TESTBAY_GENERATED_DIR}/bin/${CMAKE_MATCH_1}
    "#!${TESTBAY_PYTHON_INTERPRETER}\nimport sys\n\nfrom ${CMAKE_MATCH_2} import ${CMAKE_MATCH_3}\n\n"
    "sys.exit(${CMAKE_MATCH_3}())\n")
  install(PROGRAMS ${TESTBAY_GENERATED_DIR}/bin/${CMAKE_MATCH_1} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

# Manual pages and the Debian changelog go compressed, without a time stamp.
find_program(TESTBAY_GZIP gzip REQUIRED)
string(TIMESTAMP TESTBAY_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/cmake/changelog.in ${TESTBAY_GENERATED_DIR}/changelog @ONLY)
set(compressed "")
foreach(source ${CMAKE_SOURCE_DIR}/docs/man/testbay.1 ${CMAKE_SOURCE_DIR}/docs/man/testbay-relay.1
               ${CMAKE_SOURCE_DIR}/docs/man/testbay-call.1 ${TESTBAY_GENERATED_DIR}/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${TESTBAY_GENERATED_DIR}/${name}.gz
    COMMAND ${TESTBAY_GZIP} -9nc ${source} > ${TESTBAY_GENERATED_DIR}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${TESTBAY_GENERATED_DIR}/${name}.gz)
endforeach()
add_custom_target(testbay_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${TESTBAY_GENERATED_DIR}/testbay.1.gz ${TESTBAY_GENERATED_DIR}/testbay-relay.1.gz
  ${TESTBAY_GENERATED_DIR}/testbay-call.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/copyright
  ${TESTBAY_GENERATED_DIR}/changelog.gz DESTINATION ${TESTBAY_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${TESTBAY_DOC_DIR}/docs
  FILES_MATCHING PATTERN "*.png" PATTERN "man" EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${TESTBAY_DOC_DIR}/examples
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME testbay)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service and hardware-test program for digital protection relays")
set(CPACK_PACKAGE_DESCRIPTION
  "Testbay brings a protection relay on a serial port into the hardware test and
drives its LEDs, output relays, binary inputs, memory, analog channels, serial
ports and clock. Test stands script it through a JSON-RPC 2.0 automation
interface, with a Python client, testbay-call and a pytest plugin;
testbay-relay is a virtual relay to try it all without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESTBAY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pytest, python3-pytest-xdist")
include(CPack)
