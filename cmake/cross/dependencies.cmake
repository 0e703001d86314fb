# SPDX-License-Identifier: Apache-2.0
# What a cross-build needs of the build machine's own packages, without ever putting the build
# machine's /usr/include on the target compiler's path (its C library headers would shadow the
# target's):
#   - the header-only libraries (CLI11, nlohmann-json) are copied, alone, into the build tree and
#     offered to find_package through small package files in cmake/cross/packages;
#   - GoogleTest is built from the sources Debian's googletest package ships in /usr/src.

# Copies the folder `subdir` of the build machine's /usr/include into the build tree and sets
# `out_var` to the folder that now holds it.
function(quillmont_copy_host_headers out_var subdir)
  find_path(_quillmont_host_include_${subdir} ${subdir} PATHS /usr/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  set(found "${_quillmont_host_include_${subdir}}")
  if(NOT found)
    message(FATAL_ERROR "/usr/include/${subdir} is missing: run scripts/install-deps")
  endif()
  set(dest "${CMAKE_BINARY_DIR}/host-headers/${subdir}")
  file(COPY "${found}/${subdir}" DESTINATION "${dest}")
  set(${out_var} "${dest}" PARENT_SCOPE)
endfunction()

set(CLI11_DIR "${CMAKE_CURRENT_LIST_DIR}/packages" CACHE PATH "" FORCE)
set(nlohmann_json_DIR "${CMAKE_CURRENT_LIST_DIR}/packages" CACHE PATH "" FORCE)

if(QUILLMONT_BUILD_TESTS)
  set(QUILLMONT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
  if(NOT EXISTS "${QUILLMONT_GOOGLETEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "${QUILLMONT_GOOGLETEST_SOURCE} holds no GoogleTest sources: "
                        "run scripts/install-deps (package googletest)")
  endif()
  add_subdirectory("${CMAKE_CURRENT_LIST_DIR}/googletest" "${CMAKE_BINARY_DIR}/googletest")
endif()
