# The process facts' tests start copies of the idle program; the test adds
# the digests' second opinion through CryptoAPI.
add_dependencies(test_process_facts idle_process)
target_include_directories(test_process_facts PRIVATE ${CMAKE_CURRENT_LIST_DIR})
