# Helper programs for the lookup tests (fingerprint, folder tokens, version
# fields, details query).
add_executable(file_holder ${CMAKE_CURRENT_SOURCE_DIR}/lookup/file_holder.cpp)
target_link_libraries(file_holder PRIVATE ${TAVROWEN_STATIC_FLAGS})

add_executable(folder_tokens_exit_probe ${CMAKE_CURRENT_SOURCE_DIR}/lookup/folder_tokens_exit_probe.cpp)
target_link_libraries(folder_tokens_exit_probe PRIVATE tavrowen_app oleacc version ${TAVROWEN_STATIC_FLAGS})

# The same empty program without and with a version resource; the tests
# write other version resources into copies of the first.
add_executable(version_blank ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.cpp)
target_link_libraries(version_blank PRIVATE ${TAVROWEN_STATIC_FLAGS})
add_executable(version_sample ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.rc)
target_link_libraries(version_sample PRIVATE ${TAVROWEN_STATIC_FLAGS})

add_dependencies(test_md5 file_holder)
add_dependencies(test_folder_tokens folder_tokens_exit_probe)
add_dependencies(test_version_info version_blank version_sample file_holder)
add_dependencies(test_process_details version_blank version_sample file_holder)
# The click end to end runs beside the stand-in Task Manager.
add_dependencies(test_process_details standin_taskmgr locator_target)
target_include_directories(test_process_details PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/standin_taskmgr)
