# tundrel.scr, the saver for Windows: the shell's scene window, start-up and dialog handlers over
# the Win32 form framework, the settings dialog and the WGL surface of this folder, with the
# manifest and version resource. Included from the shell's CMakeLists.txt in Windows builds.
include_guard(GLOBAL)
set(TUNDREL_SHELL_DIR ${PROJECT_SOURCE_DIR}/src/shell)
set(TUNDREL_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

# tundrel_win32_forms: forms.h over USER32 (the objects, their windows' messages and the window
# services in three files, the displays and the power in win32_display.cpp), and the settings
# dialog's window.
include(${TUNDREL_SHELL_DIR}/config_dialog.cmake)
add_library(tundrel_win32_forms STATIC
  ${TUNDREL_WIN32_DIR}/settings_dialog_win32.cpp
  ${TUNDREL_WIN32_DIR}/win32_forms.cpp
  ${TUNDREL_WIN32_DIR}/win32_form_messages.cpp
  ${TUNDREL_WIN32_DIR}/win32_window_services.cpp
  ${TUNDREL_WIN32_DIR}/win32_display.cpp
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

set(TUNDREL_MANIFEST ${TUNDREL_WIN32_DIR}/tundrel.manifest)
configure_file(${TUNDREL_WIN32_DIR}/tundrel.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc @ONLY)

# A GUI program (no console) named tundrel.scr; everything from the compiler is linked in, so
# it needs only DLLs that come with Windows.
add_executable(tundrel WIN32 ${TUNDREL_SHELL_DIR}/main.cpp ${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc)
set_target_properties(tundrel PROPERTIES SUFFIX ".scr")
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tundrel.rc PROPERTIES
                            OBJECT_DEPENDS ${TUNDREL_MANIFEST})
target_compile_definitions(tundrel PRIVATE TUNDREL_SETTINGS_DIALOG)
target_link_libraries(tundrel PRIVATE tundrel_saver)
