# tundrel_text_x11: the Xft text surface over an X window. Included from this folder's
# CMakeLists.txt; it also brings the shared UTF-8 decoding and the long time text.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TUNDREL_XFT REQUIRED IMPORTED_TARGET xft x11)

add_library(tundrel_text_x11 STATIC ${CMAKE_CURRENT_LIST_DIR}/xft_text_surface.cpp)
target_include_directories(tundrel_text_x11 PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tundrel_text_x11 PUBLIC tundrel_text_image PkgConfig::TUNDREL_XFT)
