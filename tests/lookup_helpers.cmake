# Helper programs for the lookup tests (fingerprint, folder tokens, version
# fields, details query).
add_executable(file_holder ${CMAKE_CURRENT_SOURCE_DIR}/lookup/file_holder.cpp)
target_link_libraries(file_holder PRIVATE ${TAVROWEN_STATIC_FLAGS})

add_executable(folder_tokens_exit_probe ${CMAKE_CURRENT_SOURCE_DIR}/lookup/folder_tokens_exit_probe.cpp)
target_link_libraries(folder_tokens_exit_probe PRIVATE tavrowen_core ${TAVROWEN_STATIC_FLAGS})

# The same empty program without and with a version resource; the tests
# write other version resources into copies of the first.
add_executable(version_blank ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.cpp)
target_link_libraries(version_blank PRIVATE ${TAVROWEN_STATIC_FLAGS})
add_executable(version_sample ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/lookup/version_sample.rc)
target_link_libraries(version_sample PRIVATE ${TAVROWEN_STATIC_FLAGS})

# The test targets are made after the fragments are read.
function(tavrowen_lookup_helper_dependencies)
  if(TARGET test_md5)
    add_dependencies(test_md5 file_holder)
  endif()
  if(TARGET test_folder_tokens)
    add_dependencies(test_folder_tokens folder_tokens_exit_probe)
  endif()
  foreach(test test_version_info test_process_details)
    if(TARGET ${test})
      add_dependencies(${test} version_blank version_sample file_holder)
    endif()
  endforeach()
  # The click end to end runs beside the stand-in Task Manager.
  if(TARGET test_process_details AND TARGET standin_taskmgr AND TARGET locator_target)
    add_dependencies(test_process_details standin_taskmgr locator_target)
    target_include_directories(test_process_details PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/standin_taskmgr)
  endif()
endfunction()
cmake_language(DEFER CALL tavrowen_lookup_helper_dependencies)
