# blender_addon: the installable add-on zip, with the program, the plug-in and
# the host library and FBX writer of this build, and its picture renderer where it has one (stripped).
if(TARGET syvimport AND TARGET syvimp)
  set(SYV_BLENDER_ADDON ${CMAKE_BINARY_DIR}/sylvo_import.zip)
  set(_stage ${CMAKE_BINARY_DIR}/blender_addon)
  file(GLOB _addon_py CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/blender/sylvo_import/*.py)
  set(_libs $<TARGET_FILE_NAME:syvimp> $<TARGET_FILE_NAME:hostsdk> $<TARGET_FILE_NAME:syvfbx>)
  set(_lib_deps syvimp hostsdk syvfbx)
  if(TARGET syvpreview)
    list(APPEND _libs $<TARGET_FILE_NAME:syvpreview>)
    list(APPEND _lib_deps syvpreview)
  endif()
  set(_lib_files)
  foreach(_t ${_lib_deps})
    list(APPEND _lib_files $<TARGET_FILE:${_t}>)
  endforeach()
  list(TRANSFORM _libs PREPEND ${_stage}/sylvo_import/bin/)
  set(_strip true)
  if(CMAKE_STRIP)
    set(_strip ${CMAKE_STRIP})
  endif()
  add_custom_command(OUTPUT ${SYV_BLENDER_ADDON}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage} ${SYV_BLENDER_ADDON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/sylvo_import/bin
    COMMAND ${CMAKE_COMMAND} -E copy ${_addon_py} ${_stage}/sylvo_import/
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:syvimport> ${_lib_files}
            ${_stage}/sylvo_import/bin/
    COMMAND ${_strip} --strip-unneeded ${_stage}/sylvo_import/bin/$<TARGET_FILE_NAME:syvimport>
            ${_libs}
    COMMAND ${CMAKE_COMMAND} -E chdir ${_stage}
            ${CMAKE_COMMAND} -E tar cf ${SYV_BLENDER_ADDON} --format=zip sylvo_import
    DEPENDS ${_addon_py} syvimport ${_lib_deps}
    COMMENT "Building the Blender add-on sylvo_import.zip"
    VERBATIM)
  add_custom_target(blender_addon ALL DEPENDS ${SYV_BLENDER_ADDON})
endif()
