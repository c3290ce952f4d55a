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

set(TUNDREL_WAYLAND_GENERATED ${CMAKE_CURRENT_BINARY_DIR}/wayland_protocols)
file(MAKE_DIRECTORY ${TUNDREL_WAYLAND_GENERATED})

# Generates <name>-client-protocol.h and <name>-protocol.c from xml and adds them to the forms.
function(tundrel_wayland_protocol name xml)
  set(header ${TUNDREL_WAYLAND_GENERATED}/${name}-client-protocol.h)
  set(code ${TUNDREL_WAYLAND_GENERATED}/${name}-protocol.c)
  add_custom_command(
    OUTPUT ${header} ${code}
    COMMAND ${TUNDREL_WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${TUNDREL_WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    COMMENT "Generating the Wayland client code of ${name}"
    VERBATIM)
  target_sources(tundrel_forms PRIVATE ${header} ${code})
endfunction()

tundrel_wayland_protocol(xdg-shell ${TUNDREL_WAYLAND_PROTOCOLS}/stable/xdg-shell/xdg-shell.xml)
tundrel_wayland_protocol(xdg-output-unstable-v1
                         ${TUNDREL_WAYLAND_PROTOCOLS}/unstable/xdg-output/xdg-output-unstable-v1.xml)
tundrel_wayland_protocol(wlr-layer-shell-unstable-v1
                         ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-layer-shell-unstable-v1.xml)

target_sources(tundrel_forms PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/wayland_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_outputs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wayland_gl_surface.cpp)
target_include_directories(tundrel_forms PRIVATE ${TUNDREL_WAYLAND_GENERATED})
target_link_libraries(tundrel_forms PRIVATE PkgConfig::TUNDREL_WAYLAND OpenGL::GL tundrel_egl tundrel_text_gl
                                            tundrel_encoding)
