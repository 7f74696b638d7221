# The program's language test runs under the German locale (Wine takes the
# user's language from it) where the machine has one; cmake/prerequisites.sh
# makes it. Without it the test checks the Language setting only.
execute_process(COMMAND locale -a OUTPUT_VARIABLE TAVROWEN_LOCALES ERROR_QUIET)
if(TAVROWEN_LOCALES MATCHES "de_DE\\.utf-?8")
  set_property(TEST test_program_language APPEND PROPERTY ENVIRONMENT "LC_ALL=de_DE.UTF-8")
endif()
