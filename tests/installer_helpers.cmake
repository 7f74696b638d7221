# The release packages under Wine. installer_probe looks inside the test's
# prefixes; it is built in both trees and the test uses the 32-bit one, which
# runs in a 32-bit prefix and a 64-bit one alike.
add_executable(installer_probe ${CMAKE_CURRENT_LIST_DIR}/installer/installer_probe.cpp
               ${CMAKE_CURRENT_LIST_DIR}/support/test_support.cpp
               ${CMAKE_CURRENT_LIST_DIR}/support/shell_support.cpp)
target_include_directories(installer_probe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(installer_probe PRIVATE tavrowen_app oleacc version ${TAVROWEN_STATIC_FLAGS})
if(MINGW)
  target_link_options(installer_probe PRIVATE -municode)
endif()

# The test packages both architectures, so it runs once, from the 64-bit tree,
# with the 32-bit tree beside it as test.sh and package.sh lay them out. It
# reports itself skipped while that tree has not been built.
find_program(TAVROWEN_MAKENSIS makensis)
set(TAVROWEN_I686_TREE ${CMAKE_BINARY_DIR}/../i686 CACHE PATH "32-bit build tree the installer test packages")
if(TAVROWEN_MAKENSIS AND TAVROWEN_TEST_ARCH STREQUAL "x86_64")
  add_test(NAME installer
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/installer/test_installer.sh
                   ${PROJECT_VERSION} ${TAVROWEN_I686_TREE} ${CMAKE_BINARY_DIR})
  set_tests_properties(installer PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    SKIP_RETURN_CODE 77
    TIMEOUT 900)
endif()

# Setup in Windows' language, under a German and a Japanese locale.
if(TAVROWEN_MAKENSIS AND TAVROWEN_TEST_ARCH STREQUAL "x86_64")
  add_test(NAME installer_languages
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/installer/test_installer_languages.sh
                   ${PROJECT_VERSION} ${TAVROWEN_I686_TREE} ${CMAKE_BINARY_DIR})
  set_tests_properties(installer_languages PROPERTIES FIXTURES_REQUIRED wine_prefix SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
