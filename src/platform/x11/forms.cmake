# The X11 backend of the form framework: windows, input, monitors and the window services of
# start-up over Xlib. Included from ../forms_linux.cmake; form windows are made with the
# renderer's GLX visual.
find_package(X11 REQUIRED)

target_sources(tundrel_forms PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/x11_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_monitors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_wallpaper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_windows.cpp)
target_link_libraries(tundrel_forms PUBLIC tundrel_x11_gl X11::X11 X11::Xrandr X11::Xinerama
                      X11::Xext
                      PRIVATE tundrel_encoding)
