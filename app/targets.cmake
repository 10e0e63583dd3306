# The syvimport converter: a library of its parts (tested directly) and the program.
find_package(assimp REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(CLI11 REQUIRED)
find_package(meshoptimizer REQUIRED)

file(GLOB _app_src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
list(FILTER _app_src EXCLUDE REGEX "/(main|plugin_import|preview_render|fbx_scene)\\.cc$")
add_library(syvapp STATIC ${_app_src})
target_include_directories(syvapp PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(syvapp PUBLIC nlohmann_json::nlohmann_json CLI11::CLI11
                      meshoptimizer::meshoptimizer hostsdk
                      ${CMAKE_DL_LIBS})

# FBX is written through Assimp, which with Draco, minizip and zlib takes
# about 1.5 ms to load and bind: in libsyvfbx.so, loaded only for an FBX.
add_library(syvfbx SHARED ${CMAKE_CURRENT_SOURCE_DIR}/fbx_scene.cc)
target_include_directories(syvfbx PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(syvfbx PRIVATE assimp::assimp)
set_target_properties(syvfbx PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
# Only the entry point: templates and vtables instantiated from Assimp's
# headers would otherwise be exported (and bound at load) too.
target_link_options(syvfbx PRIVATE
                    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/fbx_scene.map)
set_property(TARGET syvfbx APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fbx_scene.map)
add_dependencies(syvapp syvfbx)

# Pictures need Mesa's off-screen OpenGL, libpng and the stb image loader;
# without them syvimport still converts and says why it draws nothing. They
# live in libsyvpreview.so, loaded only for a picture: Mesa's libraries take
# tens of milliseconds to load and bind, which every run would pay for.
find_path(SYV_OSMESA_INCLUDE GL/osmesa.h)
find_library(SYV_OSMESA_LIB OSMesa)
find_path(SYV_STB_INCLUDE stb/stb_image.h)
find_library(SYV_STB_LIB stb)
find_package(PNG)
if(SYV_OSMESA_INCLUDE AND SYV_OSMESA_LIB AND SYV_STB_INCLUDE AND SYV_STB_LIB AND PNG_FOUND)
  target_compile_definitions(syvapp PRIVATE SYV_HAVE_OSMESA)
  add_library(syvpreview SHARED ${CMAKE_CURRENT_SOURCE_DIR}/preview_render.cc)
  target_include_directories(syvpreview PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(syvpreview PRIVATE ${SYV_OSMESA_LIB} ${SYV_STB_LIB} PNG::PNG)
  set_target_properties(syvpreview PROPERTIES CXX_VISIBILITY_PRESET hidden
                                              VISIBILITY_INLINES_HIDDEN ON)
else()
  message(STATUS "syvimport: no OSMesa/libpng/stb; --preview will only warn")
endif()

# The program is a host: it needs the host's side (hostsdk) built; the plug-in
# (syvimp) is loaded at run time from beside it.
get_target_property(_hostsdk_type hostsdk TYPE)
if(_hostsdk_type STREQUAL "SHARED_LIBRARY")
  add_executable(syvimport ${CMAKE_CURRENT_SOURCE_DIR}/main.cc
                           ${CMAKE_CURRENT_SOURCE_DIR}/plugin_import.cc)
  target_link_libraries(syvimport PRIVATE syvapp hostsdk)
  if(TARGET syvimp)
    add_dependencies(syvimport syvimp)
  endif()
  install(TARGETS syvfbx LIBRARY DESTINATION lib/syvimport)
  if(TARGET syvpreview)
    add_dependencies(syvimport syvpreview)
    install(TARGETS syvpreview LIBRARY DESTINATION lib/syvimport)
  endif()
  # Installed as bin/syvimport with the host side and the plug-in in
  # lib/syvimport, both found from the program's own place, so that the tree
  # works wherever it is copied.
  set_target_properties(syvimport PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/syvimport")
  install(TARGETS syvimport RUNTIME DESTINATION bin)
  install(TARGETS hostsdk LIBRARY DESTINATION lib/syvimport)
  if(TARGET syvimp)
    set_target_properties(syvimp PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS syvimp LIBRARY DESTINATION lib/syvimport)
  endif()
endif()
