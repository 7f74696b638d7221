# The DPI test: one program run at 96, 144 and 192 DPI by tests/dpi/run_at_dpis.sh.
add_executable(dpi_scaling ${CMAKE_CURRENT_LIST_DIR}/dpi/dpi_scaling.cpp ${TAVROWEN_RESOURCES})
target_link_libraries(dpi_scaling PRIVATE test_support ${TAVROWEN_STATIC_FLAGS})
target_include_directories(dpi_scaling PRIVATE ${CMAKE_CURRENT_LIST_DIR}/standin_taskmgr)
add_dependencies(dpi_scaling recorder Tavrowen2 Tavrowen2Admin standin_taskmgr)
add_test(NAME dpi_scaling COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/dpi/run_at_dpis.sh $<TARGET_FILE:dpi_scaling>)
set_tests_properties(dpi_scaling PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 1800
  ENVIRONMENT "TAVROWEN_WINE_TEMPLATE=${TAVROWEN_WINE_TEMPLATE};TAVROWEN_WINE_PREFIX=${TAVROWEN_WINE_DIR}/dpi_scaling")
