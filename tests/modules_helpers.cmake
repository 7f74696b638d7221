# The module tests' host: loads the test DLL under several names and maps one.
add_executable(module_host WIN32 ${CMAKE_CURRENT_LIST_DIR}/modules/module_host.cpp)
target_link_libraries(module_host PRIVATE shell32 ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
add_dependencies(test_process_modules module_host payload_dll idle_process)
# A signed copy of the host (signer-samples\\signed-module_host.exe) loads the unsigned DLL.
set_property(TEST test_process_modules APPEND PROPERTY FIXTURES_REQUIRED signed_samples)
target_link_libraries(test_process_modules PRIVATE crypt32)
# A process of the other bitness comes from the other build (test.sh builds both).
set_property(TEST test_process_modules APPEND PROPERTY ENVIRONMENT "TAVROWEN_OTHER_BIN_DIR=${hosts_other_bin}")
