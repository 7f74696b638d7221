# The lookup worker's tests copy the sample programs and click the real
# program beside the stand-in Task Manager.
add_dependencies(test_lookup_worker version_blank version_sample standin_taskmgr locator_target)
target_include_directories(test_lookup_worker PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr)
