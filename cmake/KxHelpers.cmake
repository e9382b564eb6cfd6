# Each source folder is one library; its sources are whatever .cpp files it holds, so that a new
# unit needs no CMake edit. A folder without sources still yields an (interface) target.
function(kx_folder_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${dir})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${dir})
  endif()
endfunction()

# Links a library that may be an interface target (no sources yet) the right way.
function(kx_link name)
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${name} INTERFACE ${ARGN})
  else()
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()
