# The Wayland backend of the form framework. Included from ../forms_linux.cmake.
target_sources(tundrel_forms PRIVATE ${CMAKE_CURRENT_LIST_DIR}/wayland_display.cpp)
