# tundrel_config_dialog: the settings dialog's handlers (TfrmConfig), written against TConfigView;
# the window behind it is a platform backend's (gtk/ on Linux).
include_guard(GLOBAL)
add_library(tundrel_config_dialog STATIC ${CMAKE_CURRENT_LIST_DIR}/fConfig_dialog.cpp)
target_include_directories(tundrel_config_dialog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tundrel_config_dialog PUBLIC tundrel_shell tundrel_idle_rules)
# On Linux the window and these handlers make a module of their own (gtk/).
set_target_properties(tundrel_config_dialog PROPERTIES POSITION_INDEPENDENT_CODE ON)
