# The DLL the host tests have rundll32 and svchost run; exported undecorated,
# as rundll32 and svchost look the names up.
add_library(payload_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/hosts/payload_dll.cpp)
set_target_properties(payload_dll PROPERTIES PREFIX "")
target_link_libraries(payload_dll PRIVATE advapi32 ${TAVROWEN_STATIC_FLAGS})
if(MINGW)
  target_link_options(payload_dll PRIVATE -Wl,--kill-at)
endif()
add_dependencies(test_host_payload payload_dll locator_target)
# A process of the other bitness comes from the other build (test.sh builds both).
if(TAVROWEN_TEST_ARCH STREQUAL "i686")
  get_filename_component(hosts_other_bin ${CMAKE_BINARY_DIR}/../x86_64/bin ABSOLUTE)
else()
  get_filename_component(hosts_other_bin ${CMAKE_BINARY_DIR}/../i686/bin ABSOLUTE)
endif()
set_property(TEST test_host_payload APPEND PROPERTY ENVIRONMENT "TAVROWEN_OTHER_BIN_DIR=${hosts_other_bin}")
# Stand-in hosts taken for a signed sample: the signer tests' samples and root.
set_property(TEST test_host_payload APPEND PROPERTY FIXTURES_REQUIRED signed_samples)
target_link_libraries(test_host_payload PRIVATE crypt32)
add_dependencies(test_host_payload version_blank claimed_idle idle_process)
