# The signature checker's samples, made at test time in the build tree with
# openssl and osslsigncode from the empty program the version tests use, and
# the test catalog listing the idle program that claims to be Microsoft's.
add_test(NAME prepare_signed_samples
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/signer/make_signed_samples.sh $<TARGET_FILE:version_blank>
                 ${CMAKE_OBJDUMP} ${CMAKE_BINARY_DIR}/bin/signer-samples
                 $<TARGET_FILE:claimed_idle> $<TARGET_FILE:idle_process>
                 $<TARGET_FILE:module_host>)
set_tests_properties(prepare_signed_samples PROPERTIES FIXTURES_SETUP signed_samples TIMEOUT 300)
set_property(TEST test_signer_check APPEND PROPERTY FIXTURES_REQUIRED signed_samples)
add_dependencies(test_signer_check version_blank claimed_idle)
# The test, not the product, imports crypt32: it adds its root to the Root store.
target_link_libraries(test_signer_check PRIVATE crypt32)
# The unverified-only rows: a signed host running an unsigned DLL.
add_dependencies(test_signer_check payload_dll)
