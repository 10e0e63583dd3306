# test_app: the converter's parts directly, and the built syvimport end to end,
# with the real plug-in and with a fake one that builds a known scene.
if(TARGET syvapp)
  syv_test_suite(app syvapp)
  target_compile_definitions(test_app PRIVATE
    SYV_VALIDATOR_DIR="${CMAKE_SOURCE_DIR}/tools/validator")
  if(TARGET syvimport)
    add_library(syvapp_fake_plugin SHARED ${CMAKE_CURRENT_SOURCE_DIR}/app/fake_plugin/fake_plugin.cc)
    set_target_properties(syvapp_fake_plugin PROPERTIES CXX_VISIBILITY_PRESET hidden)
    target_link_libraries(syvapp_fake_plugin PRIVATE hostsdk)
    add_dependencies(test_app syvimport syvapp_fake_plugin)
    target_compile_definitions(test_app PRIVATE
      SYV_FAKE_PLUGIN="$<TARGET_FILE:syvapp_fake_plugin>")
  endif()
endif()
