# tundrel_forms: the form framework (forms.h) on Linux with both display backends, X11 and
# Wayland, one chosen as the program connects. Each backend's forms.cmake adds its sources and
# libraries to this target.
include_guard(GLOBAL)

add_library(tundrel_forms STATIC
  ${CMAKE_CURRENT_LIST_DIR}/energy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/forms_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/forms_linux.cpp)
target_include_directories(tundrel_forms PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# Both backends take key presses through the same tables.
target_link_libraries(tundrel_forms PRIVATE tundrel_keys tundrel_unix)

include(${CMAKE_CURRENT_LIST_DIR}/x11/forms.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/wayland/forms.cmake)
