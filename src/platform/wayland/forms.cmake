# The Wayland backend of the form framework: the connection, outputs, surfaces and input over
# libwayland-client, EGL window surfaces for the renderer and xkbcommon for the keyboard.
# Included from ../forms_linux.cmake. The client code of the protocols it speaks is generated at
# build time by wayland-scanner.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TUNDREL_WAYLAND REQUIRED IMPORTED_TARGET wayland-client wayland-egl egl
                  xkbcommon)
pkg_get_variable(TUNDREL_WAYLAND_PROTOCOLS wayland-protocols pkgdatadir)
if(NOT TUNDREL_WAYLAND_PROTOCOLS)
  set(TUNDREL_WAYLAND_PROTOCOLS /usr/share/wayland-protocols)
endif()
find_program(TUNDREL_WAYLAND_SCANNER wayland-scanner REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)

# tundrel_wayland_protocol(<target> <name> <xml>): generates <name>-client-protocol.h and
# <name>-protocol.c from xml into the calling folder's build tree and gives them to target (the
# tests' clients use it too).
function(tundrel_wayland_protocol target name xml)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/wayland_protocols)
  set(header ${generated}/${name}-client-protocol.h)
  set(code ${generated}/${name}-protocol.c)
  add_custom_command(
    OUTPUT ${header} ${code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
    COMMAND ${TUNDREL_WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${TUNDREL_WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    COMMENT "Generating the Wayland client code of ${name}"
    VERBATIM)
  target_sources(${target} PRIVATE ${header} ${code})
  target_include_directories(${target} PRIVATE ${generated})
endfunction()

tundrel_wayland_protocol(tundrel_forms xdg-shell
                         ${TUNDREL_WAYLAND_PROTOCOLS}/stable/xdg-shell/xdg-shell.xml)
tundrel_wayland_protocol(tundrel_forms xdg-output-unstable-v1
                         ${TUNDREL_WAYLAND_PROTOCOLS}/unstable/xdg-output/xdg-output-unstable-v1.xml)
tundrel_wayland_protocol(tundrel_forms wlr-layer-shell-unstable-v1
                         ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-layer-shell-unstable-v1.xml)
tundrel_wayland_protocol(tundrel_forms viewporter
                         ${TUNDREL_WAYLAND_PROTOCOLS}/stable/viewporter/viewporter.xml)
tundrel_wayland_protocol(tundrel_forms fractional-scale-v1
                         ${TUNDREL_WAYLAND_PROTOCOLS}/staging/fractional-scale/fractional-scale-v1.xml)

target_sources(tundrel_forms PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/wayland_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_outputs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_gl_surface.cpp)
target_link_libraries(tundrel_forms PRIVATE PkgConfig::TUNDREL_WAYLAND OpenGL::GL tundrel_egl
                                            tundrel_text_gl tundrel_encoding)
