# Helper programs for the Running Processes window's tests and its benchmark.

# A process that idles, started many times over by the benchmark.
add_executable(idle_process WIN32 ${CMAKE_CURRENT_LIST_DIR}/process_window/idle_process.cpp)
target_link_libraries(idle_process PRIVATE ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
# The same, claiming to be Microsoft's: the signer samples' test catalog lists it.
add_executable(claimed_idle WIN32 ${CMAKE_CURRENT_LIST_DIR}/process_window/idle_process.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/process_window/claimed_idle.rc)
target_link_libraries(claimed_idle PRIVATE ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})

add_dependencies(test_process_window locator_target module_host payload_dll)
