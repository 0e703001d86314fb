# SPDX-License-Identifier: Apache-2.0
# Each layer under src/ is one library. quillmont_layer_headers(TARGET FOLDER) gives TARGET a
# public include directory that holds only FOLDER's own headers, as one-line headers under
# <build>/layers/<TARGET>/<FOLDER>/ that include the real ones. So `#include "app/x.h"` resolves
# only in a library that links the app layer: an include that runs upward does not build, and a
# backend's headers (link/serial/...) are not reachable through the link layer's own directory.
# Forwarding headers rather than links, so that every system builds the same way.
function(quillmont_layer_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  set(dir ${root}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  set(wanted "")
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    list(APPEND wanted ${dir}/${name})
    # Written only when it changes, so that a new configure does not rebuild everything.
    file(CONFIGURE OUTPUT ${dir}/${name} CONTENT "#include \"${header}\"\n" @ONLY)
  endforeach()
  # A header moved away or deleted must stop resolving.
  file(GLOB present ${dir}/*.h)
  foreach(stale IN LISTS present)
    if(NOT stale IN_LIST wanted)
      file(REMOVE ${stale})
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
