# SPDX-License-Identifier: Apache-2.0
# CLI11 for a cross-build: the header-only library from the build machine's package.
if(NOT TARGET CLI11::CLI11)
  quillmont_copy_host_headers(_quillmont_cli11_include CLI)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_quillmont_cli11_include}")
endif()
set(CLI11_FOUND TRUE)
