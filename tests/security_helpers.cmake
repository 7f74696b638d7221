# A DLL to plant beside the program in the security tests.
add_library(decoy_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/security/decoy_dll.cpp)
set_target_properties(decoy_dll PROPERTIES PREFIX "")
target_link_libraries(decoy_dll PRIVATE ${TAVROWEN_STATIC_FLAGS})
add_dependencies(test_planted_files decoy_dll)
add_dependencies(test_planted_files standin_taskmgr)
# A process that rewrites its loader entry and current folder.
add_executable(loader_rewriter WIN32 ${CMAKE_CURRENT_LIST_DIR}/security/loader_rewriter.cpp)
target_link_libraries(loader_rewriter PRIVATE shell32 ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
add_dependencies(test_signer_check loader_rewriter)
