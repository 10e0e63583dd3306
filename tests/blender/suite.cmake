# The Blender add-on in a real Blender, its zip installed into a fresh profile;
# skipped when Blender is missing.
if(TARGET blender_addon)
  set(_profile ${CMAKE_BINARY_DIR}/blender_profile)
  add_test(NAME BlenderAddon.ImportsThroughTheOperator
    COMMAND sh -c "command -v blender >/dev/null || { echo 'blender is not installed'; exit 77; }
      p=$0; rm -rf \"$p\" && mkdir -p \"$p/tmp\" &&
      export BLENDER_USER_CONFIG=\"$p/config\" BLENDER_USER_SCRIPTS=\"$p/scripts\" TMPDIR=\"$p/tmp\" &&
      exec blender \"$@\""
      ${_profile} -b --factory-startup --python-exit-code 1
      --python ${CMAKE_CURRENT_SOURCE_DIR}/blender/addon_test.py --
      ${SYV_BLENDER_ADDON} $<TARGET_FILE:syvimport> ${CMAKE_SOURCE_DIR}/examples ${CMAKE_CURRENT_SOURCE_DIR}/data)
  set_tests_properties(BlenderAddon.ImportsThroughTheOperator PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  if(SYV_SANITIZE)
    # The leak checker's tracer crashes in a child of Blender (after a correct
    # conversion); leaks are checked by the converter's own tests.
    set_tests_properties(BlenderAddon.ImportsThroughTheOperator PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
endif()
