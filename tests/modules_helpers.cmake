# The module tests' host loads the test DLL under several names and maps one; a
# signed copy of it is among the signer samples; the other build gives a process of the other bitness.
add_executable(module_host WIN32 ${CMAKE_CURRENT_LIST_DIR}/modules/module_host.cpp)
target_link_libraries(module_host PRIVATE shell32 ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
add_dependencies(test_process_modules module_host payload_dll idle_process)
set_property(TEST test_process_modules APPEND PROPERTY FIXTURES_REQUIRED signed_samples)
set_property(TEST test_process_modules APPEND PROPERTY ENVIRONMENT "TAVROWEN_OTHER_BIN_DIR=${hosts_other_bin}")
target_link_libraries(test_process_modules PRIVATE crypt32)
