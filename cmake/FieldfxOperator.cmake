# fieldfx_add_operator(<Name> <service library>...)
#
# Builds ops/<Name>/src/*.cpp as the module <Name>.so (<Name>.dll), without the
# "lib" prefix, into build/ops, linked against exactly the named service
# libraries and exporting exactly GetOperatorInfo and OperatorAction.
set(FIELDFX_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(fieldfx_add_operator name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(CMAKE_SYSTEM_NAME STREQUAL "WASI")
    # No loader in WebAssembly: the module is a static library that one
    # program links (with its service libraries, static too).
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC fieldfx_helpers ${ARGN})
    target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
    set_target_properties(${name} PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${FIELDFX_OPS_DIR})
    set_property(GLOBAL APPEND PROPERTY FIELDFX_OPERATORS ${name})
    set_property(GLOBAL PROPERTY FIELDFX_SERVICES_${name} ${ARGN})
    return()
  endif()
  add_library(${name} MODULE ${sources})
  target_link_libraries(${name} PRIVATE fieldfx_helpers ${ARGN})
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${FIELDFX_OPS_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${FIELDFX_OPS_DIR})
  if(WIN32)
    target_sources(${name} PRIVATE ${FIELDFX_CMAKE_DIR}/operator.def)
    target_link_options(${name} PRIVATE -static-libgcc -static-libstdc++)
  else()
    target_link_options(${name} PRIVATE
      -Wl,--version-script=${FIELDFX_CMAKE_DIR}/operator.map)
    if(NOT FIELDFX_SANITIZE AND NOT FIELDFX_TSAN AND NOT FIELDFX_FUZZ)
      # Every symbol an operator needs comes from the libraries it names.
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
  # Installed as PREFIX/<libdir>/fieldfx/ops/<Name>.so beside the service
  # libraries in PREFIX/<libdir>/fieldfx/lib.
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS ${name} LIBRARY DESTINATION ${FIELDFX_INSTALL_DIR}/ops
          RUNTIME DESTINATION ${FIELDFX_INSTALL_DIR}/ops)
  set_property(GLOBAL APPEND PROPERTY FIELDFX_OPERATORS ${name})
  set_property(GLOBAL PROPERTY FIELDFX_SERVICES_${name} ${ARGN})
endfunction()
