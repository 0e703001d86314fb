# SPDX-License-Identifier: Apache-2.0
# nlohmann-json for a cross-build: the header-only library from the build machine's package.
if(NOT TARGET nlohmann_json::nlohmann_json)
  quillmont_copy_host_headers(_quillmont_json_include nlohmann)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_quillmont_json_include}")
endif()
set(nlohmann_json_FOUND TRUE)
