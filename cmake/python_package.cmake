# The Python client's type stub, made from the built program's method table,
# and its wheel build/testbay-<version>-py3-none-any.whl with the metadata of
# ${dist_info}. Both are built with the program.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(TESTBAY_PYTHON_STUB ${CMAKE_BINARY_DIR}/python/testbay/__init__.pyi)
set(TESTBAY_WHEEL ${CMAKE_BINARY_DIR}/testbay-${PROJECT_VERSION}-py3-none-any.whl)
set(package_script ${CMAKE_SOURCE_DIR}/cmake/python_package.py)
file(GLOB package_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/python/testbay/*.py)

add_custom_command(OUTPUT ${TESTBAY_PYTHON_STUB}
  COMMAND ${Python3_EXECUTABLE} ${package_script} stub $<TARGET_FILE:testbay> ${CMAKE_SOURCE_DIR}/python
          ${TESTBAY_PYTHON_STUB}
  DEPENDS testbay ${package_script} ${CMAKE_SOURCE_DIR}/python/testbay/_methods.py
  COMMENT "Type stub of the Python client from the method table" VERBATIM)
add_custom_command(OUTPUT ${TESTBAY_WHEEL}
  COMMAND ${Python3_EXECUTABLE} ${package_script} wheel ${CMAKE_SOURCE_DIR}/python ${TESTBAY_PYTHON_STUB}
          ${dist_info} ${TESTBAY_WHEEL}
  DEPENDS ${TESTBAY_PYTHON_STUB} ${package_script} ${package_sources} ${CMAKE_SOURCE_DIR}/python/testbay/py.typed
          ${dist_info}/METADATA ${dist_info}/entry_points.txt ${dist_info}/top_level.txt
  COMMENT "Wheel of the Python client" VERBATIM)
add_custom_target(testbay_wheel ALL DEPENDS ${TESTBAY_WHEEL})
