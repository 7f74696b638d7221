# The Properties window's test: the svch0st.exe story, and the idle program
# signed by the signer samples' test leaf (signer-samples/signed-idle_process.exe),
# and the unsigned one the samples' test catalog lists (signer-samples/catalogued.exe);
# and the module host with a DLL in temp for the Modules list.
set_property(TEST test_properties_window APPEND PROPERTY FIXTURES_REQUIRED signed_samples)
add_dependencies(test_properties_window idle_process version_blank claimed_idle module_host payload_dll)
target_include_directories(test_properties_window PRIVATE ${CMAKE_CURRENT_LIST_DIR})
# The test, not the product, imports crypt32: it adds the test root to the Root store.
target_link_libraries(test_properties_window PRIVATE crypt32)
