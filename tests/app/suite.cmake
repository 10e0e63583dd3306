# test_app: the converter's parts directly, and the built syvimport end to end
# with the real plug-in.
if(TARGET syvapp)
  # The FBX tests read back and compare with Assimp's own files.
  find_package(assimp REQUIRED)
  syv_test_suite(app syvapp assimp::assimp)
  target_compile_definitions(test_app PRIVATE
    SYV_VALIDATOR_DIR="${CMAKE_SOURCE_DIR}/tools/validator")
  if(TARGET syvimport)
    add_dependencies(test_app syvimport)
  endif()
endif()
