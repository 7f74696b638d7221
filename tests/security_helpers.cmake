# A DLL to plant beside the program in the security tests.
add_library(decoy_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/security/decoy_dll.cpp)
set_target_properties(decoy_dll PROPERTIES PREFIX "")
target_link_libraries(decoy_dll PRIVATE ${TAVROWEN_STATIC_FLAGS})
add_dependencies(test_planted_files decoy_dll)
add_dependencies(test_planted_files standin_taskmgr)
