# hostsdk: the host application's side (shared, every symbol visible).
# syvimp: the plug-in (shared, only the Lib* entry points visible).
file(GLOB _hostsdk_src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/sdk/*.cc)
if(_hostsdk_src)
  add_library(hostsdk SHARED ${_hostsdk_src})
  target_include_directories(hostsdk PUBLIC ${CMAKE_SOURCE_DIR})
  # Bitmap textures read their image's size and alpha with the stb loader.
  find_path(SYV_STB_INCLUDE stb/stb_image.h REQUIRED)
  find_library(SYV_STB_LIB stb REQUIRED)
  target_include_directories(hostsdk PRIVATE ${SYV_STB_INCLUDE})
  target_link_libraries(hostsdk PRIVATE ${SYV_STB_LIB})
else()
  add_library(hostsdk INTERFACE)
  target_include_directories(hostsdk INTERFACE ${CMAKE_SOURCE_DIR})
endif()

file(GLOB _syvimp_src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.cc)
if(_syvimp_src)
  add_library(syvimp SHARED ${_syvimp_src})
  set_target_properties(syvimp PROPERTIES CXX_VISIBILITY_PRESET hidden
                                          VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(syvimp PRIVATE hostsdk core_scene)
  # The core's static libraries are built with default visibility: the
  # version script keeps everything but the entry points local.
  target_link_options(syvimp PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/host/syvimp.map)
  set_target_properties(syvimp PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/host/syvimp.map)
  if(NOT SYV_SANITIZE)
    target_link_options(syvimp PRIVATE -Wl,--no-undefined)
  endif()
endif()
