# The saver on Linux: tundrel_saver (the scene window TfMain and the start-up decisions: run mode,
# drawing target, input rules, statistics caption) and the program tundrel. Included from this
# folder's CMakeLists.txt.
include_guard(GLOBAL)
if(WIN32)
  # The Windows build brings its own form framework and entry point.
  return()
endif()

include(${PROJECT_SOURCE_DIR}/src/platform/forms_linux.cmake)

add_library(tundrel_saver STATIC ${TUNDREL_SAVER_SOURCES})
target_include_directories(tundrel_saver PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tundrel_saver PUBLIC tundrel_render tundrel_shell tundrel_sim
                                           tundrel_forms)

add_executable(tundrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tundrel PRIVATE tundrel_saver)
target_compile_definitions(tundrel PRIVATE TUNDREL_VERSION="${PROJECT_VERSION}")
if(TARGET tundrel_gtk)
  # The dialog's handlers, which the window's module links; included once, whoever includes
  # them first. The saver itself only loads that module (gtk/) when it opens the dialog.
  include(${CMAKE_CURRENT_LIST_DIR}/config_dialog.cmake OPTIONAL)
  target_link_libraries(tundrel PRIVATE tundrel_gtk)
  target_compile_definitions(tundrel PRIVATE TUNDREL_SETTINGS_DIALOG)
endif()

# XScreenSaver runs its hacks from its own folder (/usr/libexec/xscreensaver on Debian).
include(GNUInstallDirs)
install(TARGETS tundrel RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
