# The text fit test again at 144 and 192 DPI, each in a prefix of its own
# whose LogPixels wine_run.sh sets before the program starts.
foreach(dpi 144 192)
  add_test(NAME test_text_fit_at_${dpi} COMMAND test_text_fit)
  set_tests_properties(test_text_fit_at_${dpi} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 900
    ENVIRONMENT "TAVROWEN_WINE_TEMPLATE=${TAVROWEN_WINE_TEMPLATE};TAVROWEN_WINE_PREFIX=${TAVROWEN_WINE_DIR}/test_text_fit_at_${dpi};TAVROWEN_WINE_DPI=${dpi}")
endforeach()
