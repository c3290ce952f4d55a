# tundrel.scr, the saver for Windows: the shell's scene window, start-up and dialog handlers over
# the Win32 form framework, the settings dialog and the WGL surface of this folder, with the
# icon, manifest and version resources. Included from the shell's CMakeLists.txt in Windows
# builds.
include_guard(GLOBAL)
set(TUNDREL_SHELL_DIR ${PROJECT_SOURCE_DIR}/src/shell)
set(TUNDREL_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

# tundrel_win32_forms: forms.h over USER32 (the objects, their windows' messages and the window
# services in three files, the displays and the power in win32_display.cpp, the live wallpaper
# in the desktop in win32_wallpaper.cpp), and the settings dialog's window.
include(${TUNDREL_SHELL_DIR}/config_dialog.cmake)
add_library(tundrel_win32_forms STATIC
  ${TUNDREL_WIN32_DIR}/app_icon.cpp
  ${TUNDREL_WIN32_DIR}/settings_dialog_win32.cpp
  ${TUNDREL_WIN32_DIR}/win32_forms.cpp
  ${TUNDREL_WIN32_DIR}/win32_form_messages.cpp
  ${TUNDREL_WIN32_DIR}/win32_window_services.cpp
  ${TUNDREL_WIN32_DIR}/win32_display.cpp
  ${TUNDREL_WIN32_DIR}/win32_wallpaper.cpp
  ${TUNDREL_WIN32_DIR}/../energy.cpp
  ${TUNDREL_WIN32_DIR}/../forms_common.cpp)
target_include_directories(tundrel_win32_forms PUBLIC ${TUNDREL_WIN32_DIR}
                                                      ${TUNDREL_WIN32_DIR}/..)
target_link_libraries(tundrel_win32_forms PUBLIC tundrel_win32_gl tundrel_config_dialog
                                          PRIVATE comctl32 user32 gdi32)

# The scene window and the start-up decisions, shared with the Linux saver.
add_library(tundrel_saver STATIC ${TUNDREL_SAVER_SOURCES})
target_include_directories(tundrel_saver PUBLIC ${TUNDREL_SHELL_DIR})
target_link_libraries(tundrel_saver PUBLIC tundrel_render tundrel_shell tundrel_sim
                                           tundrel_win32_forms)

# The icon, made from packaging/tundrel.svg: the small icon at 100, 125, 150, 175, 200 and 250 %
# (16, 20, 24, 28, 32 and 40 pixels) and the large one at twice those sizes, so neither is scaled
# there (app_icon.cpp scales down from a larger size at other densities), and 256, stored as PNG,
# for Explorer's large views. The installer uses it too (the target's TUNDREL_ICON property).
find_program(TUNDREL_RSVG_CONVERT rsvg-convert)
find_program(TUNDREL_ICOTOOL icotool)
if(NOT TUNDREL_RSVG_CONVERT OR NOT TUNDREL_ICOTOOL)
  message(FATAL_ERROR "The saver's icon needs rsvg-convert (Debian package librsvg2-bin) and "
                      "icotool (icoutils)")
endif()
set(TUNDREL_ICON_FILE ${CMAKE_CURRENT_BINARY_DIR}/tundrel.ico)
set(icon_svg ${PROJECT_SOURCE_DIR}/packaging/tundrel.svg)
set(icon_commands)
set(icon_images)
foreach(size 16 20 24 28 32 40 48 56 64 80 256)
  set(image ${CMAKE_CURRENT_BINARY_DIR}/icon/tundrel-${size}.png)
  list(APPEND icon_commands COMMAND ${TUNDREL_RSVG_CONVERT} -w ${size} -h ${size} -o ${image}
                            ${icon_svg})
  if(size EQUAL 256)
    list(APPEND icon_images --raw=${image})
  else()
    list(APPEND icon_images ${image})
  endif()
endforeach()
add_custom_command(OUTPUT ${TUNDREL_ICON_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icon
  ${icon_commands}
  COMMAND ${TUNDREL_ICOTOOL} -c -o ${TUNDREL_ICON_FILE} ${icon_images}
  DEPENDS ${icon_svg}
  COMMENT "Making tundrel.ico"
  VERBATIM)

set(TUNDREL_MANIFEST ${TUNDREL_WIN32_DIR}/tundrel.manifest)
configure_file(${TUNDREL_WIN32_DIR}/tundrel.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc @ONLY)

# A GUI program (no console) named tundrel.scr; everything from the compiler is linked in, so
# it needs only DLLs that come with Windows.
add_executable(tundrel WIN32 ${TUNDREL_SHELL_DIR}/main.cpp ${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc)
set_target_properties(tundrel PROPERTIES SUFFIX ".scr" TUNDREL_ICON ${TUNDREL_ICON_FILE})
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc PROPERTIES
                            OBJECT_DEPENDS "${TUNDREL_MANIFEST};${TUNDREL_ICON_FILE}")
target_compile_definitions(tundrel PRIVATE TUNDREL_SETTINGS_DIALOG)
target_link_libraries(tundrel PRIVATE tundrel_saver)
