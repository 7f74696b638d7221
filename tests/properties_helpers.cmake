# The Properties window's test: beside the svch0st.exe story, the idle program
# signed by the signer samples' test leaf, made at test time.
add_test(NAME prepare_signed_idle
         COMMAND osslsigncode sign -certs ${CMAKE_BINARY_DIR}/bin/signer-samples/signed-chain.pem
                 -key ${CMAKE_BINARY_DIR}/bin/signer-samples/signed.key -h sha256
                 -in $<TARGET_FILE:idle_process> -out ${CMAKE_BINARY_DIR}/bin/signed_idle.exe)
set_tests_properties(prepare_signed_idle PROPERTIES FIXTURES_REQUIRED signed_samples FIXTURES_SETUP signed_idle)
set_property(TEST test_properties_window APPEND PROPERTY FIXTURES_REQUIRED signed_samples signed_idle)
add_dependencies(test_properties_window idle_process version_blank)
target_include_directories(test_properties_window PRIVATE ${CMAKE_CURRENT_LIST_DIR})
# The test, not the product, imports crypt32: it adds the test root to the Root store.
target_link_libraries(test_properties_window PRIVATE crypt32)
