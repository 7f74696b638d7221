# Helper programs for the Running Processes window's tests, its benchmark and
# its screenshot.

# Opens the window in the running program, as the tray command does.
add_executable(open_processes_window ${CMAKE_CURRENT_LIST_DIR}/process_window/open_processes_window.cpp)
target_include_directories(open_processes_window PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(open_processes_window PRIVATE ${TAVROWEN_STATIC_FLAGS})

# A process that idles, started many times over by the benchmark.
add_executable(idle_process WIN32 ${CMAKE_CURRENT_LIST_DIR}/process_window/idle_process.cpp)
target_link_libraries(idle_process PRIVATE ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})

add_dependencies(test_process_window locator_target)
