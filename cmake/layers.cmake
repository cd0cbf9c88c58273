# The system's code as one static library per layer, bottom to top: a layer
# links only the one below it, and through it the rest below. Both builds and
# scripts/check_layers read this order; the README's layout section explains it.
set(TESTBAY_LAYERS platform protocol settings comm bootlink hwt device tools pages automation app)

# testbay_layer_sources(<layer> <out-var>): the layer's sources without the
# windows (*_view.cpp, *_view_win.cpp) and the programs' entry points.
function(testbay_layer_sources layer out)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${layer}/*.cpp)
  list(FILTER sources EXCLUDE REGEX ".*/(main|console_main)\\.cpp$")
  list(FILTER sources EXCLUDE REGEX ".*_view\\.cpp$")
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# testbay_add_layers(): testbay_<layer> for every layer, with the platform's
# sources chosen by TESTBAY_PLATFORM_SOURCES, and testbay_core for all of them.
function(testbay_add_layers)
  set(below "")
  foreach(layer ${TESTBAY_LAYERS})
    if(layer STREQUAL "platform")
      set(sources ${TESTBAY_PLATFORM_SOURCES})
    else()
      testbay_layer_sources(${layer} sources)
      list(FILTER sources EXCLUDE REGEX ".*_win\\.cpp$")
      if(WIN32)
        file(GLOB windows_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${layer}/*_win.cpp)
        list(FILTER windows_sources EXCLUDE REGEX ".*_view_win\\.cpp$")
        list(APPEND sources ${windows_sources})
      endif()
    endif()
    add_library(testbay_${layer} STATIC ${sources})
    target_include_directories(testbay_${layer} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    if(below)
      target_link_libraries(testbay_${layer} PUBLIC testbay_${below})
    endif()
    set(below ${layer})
  endforeach()
  add_library(testbay_core INTERFACE)
  target_link_libraries(testbay_core INTERFACE testbay_${below})
endfunction()
