# The report's test leaves its reports for a Linux-side check with a JSON
# Schema validator (python3-jsonschema), which runs after it.
set(TAVROWEN_REPORT_OUT ${CMAKE_BINARY_DIR}/report-out)
add_dependencies(test_report idle_process)
set_property(TEST test_report APPEND PROPERTY ENVIRONMENT "TAVROWEN_REPORT_OUT=${TAVROWEN_REPORT_OUT}")
set_property(TEST test_report APPEND PROPERTY FIXTURES_SETUP report_outputs)
add_test(NAME report_schema
         COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/report/check_report.py ${TAVROWEN_REPORT_OUT}
                 ${CMAKE_SOURCE_DIR}/docs/report-schema.json)
set_tests_properties(report_schema PROPERTIES FIXTURES_REQUIRED report_outputs)
