# tundrel_x11_forms: the form framework (forms.h) over Xlib, with the window services of start-up.
# Included from this folder's CMakeLists.txt; form windows are made with the renderer's GLX visual.
include_guard(GLOBAL)
find_package(X11 REQUIRED)

add_library(tundrel_x11_forms STATIC
  ${CMAKE_CURRENT_LIST_DIR}/../forms_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cp1251.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_codes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_forms.cpp)
target_include_directories(tundrel_x11_forms PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tundrel_x11_forms PUBLIC tundrel_x11_gl X11::X11 X11::Xrandr X11::Xinerama
                      PRIVATE tundrel_encoding)
