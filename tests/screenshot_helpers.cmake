# The Windows side of tests/screenshots/take_screenshots.sh: posts commands and
# finds the windows to shoot.
add_executable(screen_helper ${CMAKE_CURRENT_LIST_DIR}/screenshots/screen_helper.cpp)
target_link_libraries(screen_helper PRIVATE ${TAVROWEN_STATIC_FLAGS})
if(MINGW)
  target_link_options(screen_helper PRIVATE -municode)
endif()
