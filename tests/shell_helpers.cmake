# Helper programs for the shell's tests (tray, dialogs, settings, elevation).
add_executable(shell_probe WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/shell/shell_probe.cpp)
target_link_libraries(shell_probe PRIVATE ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})

foreach(test test_elevation test_dialogs test_settings test_tray_menu)
  add_dependencies(${test} shell_probe)
endforeach()
