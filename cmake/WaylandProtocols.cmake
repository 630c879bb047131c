# Turns Wayland protocol descriptions into code with wayland-scanner at build time.
#
#   pellamor_wayland_protocol(TARGET <target> XML <file> SIDE client|server [CODE])
#
# adds <name>-<side>-protocol.h (and with CODE the interface tables, <name>-protocol.c) to the target's
# sources and puts the generated folder on its include path.
find_package(PkgConfig REQUIRED)
pkg_get_variable(PELLAMOR_WAYLAND_SCANNER_HINT wayland-scanner wayland_scanner)
find_program(PELLAMOR_WAYLAND_SCANNER NAMES wayland-scanner HINTS ${PELLAMOR_WAYLAND_SCANNER_HINT} REQUIRED)

function(pellamor_wayland_protocol)
  cmake_parse_arguments(ARG "CODE" "TARGET;XML;SIDE" "" ${ARGN})
  get_filename_component(name ${ARG_XML} NAME_WE)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
  file(MAKE_DIRECTORY ${folder})
  set(header ${folder}/${name}-${ARG_SIDE}-protocol.h)
  add_custom_command(OUTPUT ${header}
    COMMAND ${PELLAMOR_WAYLAND_SCANNER} ${ARG_SIDE}-header ${ARG_XML} ${header}
    DEPENDS ${ARG_XML} VERBATIM)
  set(sources ${header})
  if(ARG_CODE)
    set(code ${folder}/${name}-protocol.c)
    add_custom_command(OUTPUT ${code}
      COMMAND ${PELLAMOR_WAYLAND_SCANNER} private-code ${ARG_XML} ${code}
      DEPENDS ${ARG_XML} VERBATIM)
    list(APPEND sources ${code})
  endif()
  target_sources(${ARG_TARGET} PRIVATE ${sources})
  target_include_directories(${ARG_TARGET} PRIVATE ${folder})
endfunction()
