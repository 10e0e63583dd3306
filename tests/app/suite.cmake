# test_app: the converter's parts directly, and the built syvimport end to end.
if(TARGET syvapp)
  syv_test_suite(app syvapp)
  target_compile_definitions(test_app PRIVATE
    SYV_VALIDATOR_DIR="${CMAKE_SOURCE_DIR}/tools/validator")
endif()
