# The report's test leaves its reports for a Linux-side check with a JSON
# Schema validator (python3-jsonschema), which runs after it.
set(TAVROWEN_REPORT_OUT ${CMAKE_BINARY_DIR}/report-out)
add_dependencies(test_report idle_process)
set_property(TEST test_report APPEND PROPERTY ENVIRONMENT "TAVROWEN_REPORT_OUT=${TAVROWEN_REPORT_OUT}")
set_property(TEST test_report APPEND PROPERTY FIXTURES_SETUP report_outputs)
# The schema check needs a Python with jsonschema: the PATH's, else the
# system's (python3-jsonschema, which cmake/prerequisites.sh installs).
set(TAVROWEN_SCHEMA_PYTHON python3)
execute_process(COMMAND python3 -c "import jsonschema" RESULT_VARIABLE schema_missing OUTPUT_QUIET ERROR_QUIET)
if(NOT schema_missing EQUAL 0 AND EXISTS /usr/bin/python3)
  set(TAVROWEN_SCHEMA_PYTHON /usr/bin/python3)
endif()
add_test(NAME report_schema
         COMMAND ${TAVROWEN_SCHEMA_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/report/check_report.py ${TAVROWEN_REPORT_OUT}
                 ${CMAKE_SOURCE_DIR}/docs/report-schema.json)
set_tests_properties(report_schema PROPERTIES FIXTURES_REQUIRED report_outputs)
