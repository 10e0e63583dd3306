# The host tests: the SDK and the plug-in's parts in-process, and the built
# plug-in library through dlopen.
syv_test_suite(host hostsdk core_scene ${CMAKE_DL_LIBS})
if(TARGET test_host)
  target_sources(test_host PRIVATE
    ${CMAKE_SOURCE_DIR}/host/host_mesh_writer.cc
    ${CMAKE_SOURCE_DIR}/host/host_material.cc
    ${CMAKE_SOURCE_DIR}/host/import_command.cc)
  add_dependencies(test_host syvimp)
endif()
