# Helper programs for the Task Manager integration tests, the demo and the
# attachment benchmark.

# The stand-in Task Manager; make_prefix.sh installs it as the prefix's taskmgr.exe.
add_executable(standin_taskmgr WIN32
  ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr/standin_taskmgr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr/standin_accessible.cpp
  ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr/standin_taskmgr.rc)
target_include_directories(standin_taskmgr PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr)
target_link_libraries(standin_taskmgr PRIVATE comctl32 ole32 oleaut32 oleacc uuid
                      ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
if(MINGW)
  # Programs load taskmgr.exe as a module to read its title: it must be relocatable.
  target_link_options(standin_taskmgr PRIVATE -Wl,--dynamicbase)
endif()

# A process for the executable locator to find, copied under other names.
add_executable(locator_target WIN32 ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr/locator_target.cpp)
target_link_libraries(locator_target PRIVATE ${TAVROWEN_STATIC_FLAGS} ${TAVROWEN_GUI_FLAGS})
# A module whose file name ends with another image name (xnotepad.exe).
add_library(locator_suffix_module SHARED ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr/locator_suffix_module.cpp)
set_target_properties(locator_suffix_module PROPERTIES PREFIX "" OUTPUT_NAME "xnotepad" SUFFIX ".exe")
target_link_libraries(locator_suffix_module PRIVATE ${TAVROWEN_STATIC_FLAGS})

# Shows the main job end to end (tests/demo/run_demo.sh).
# It drives the programs with the tests' support code (GoogleTest aside).
add_executable(demo_driver ${CMAKE_CURRENT_LIST_DIR}/demo/demo_driver.cpp
               ${CMAKE_CURRENT_LIST_DIR}/support/test_support.cpp)
target_include_directories(demo_driver PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr
                           ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(demo_driver PRIVATE tavrowen_app oleacc version ${TAVROWEN_STATIC_FLAGS})
add_dependencies(demo_driver standin_taskmgr recorder Tavrowen2 Tavrowen2Admin)

foreach(test test_task_manager_view test_executable_locator test_link_strip test_attachment
             test_task_manager_end_to_end test_accessibility)
  add_dependencies(${test} standin_taskmgr locator_target locator_suffix_module)
  target_include_directories(${test} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr)
endforeach()

# The other architecture's programs (test.sh builds both): the prefix gets its
# stand-in Task Manager, and the cross-bitness tests run its programs.
if(TAVROWEN_TEST_ARCH STREQUAL "i686")
  set(TAVROWEN_OTHER_ARCH x86_64)
else()
  set(TAVROWEN_OTHER_ARCH i686)
endif()
get_filename_component(TAVROWEN_OTHER_BIN_DIR ${CMAKE_BINARY_DIR}/../${TAVROWEN_OTHER_ARCH}/bin ABSOLUTE)
set_property(TEST prepare_wine_prefix test_locator_bitness
             APPEND PROPERTY ENVIRONMENT "TAVROWEN_OTHER_BIN_DIR=${TAVROWEN_OTHER_BIN_DIR}")
add_dependencies(test_locator_bitness standin_taskmgr locator_target)
target_include_directories(test_locator_bitness PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr)
