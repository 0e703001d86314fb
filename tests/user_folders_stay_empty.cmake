# SPDX-License-Identifier: Apache-2.0
# After every test: the tests' home holds no history and no settings of Quillmont in the places a
# real user's would be, so no test reached for them (they all run with XDG_DATA_HOME and
# XDG_CONFIG_HOME elsewhere, or with a home of their own).
foreach(folder .local/share/quillmont .config/quillmont)
  if(EXISTS "${HOME}/${folder}")
    message(FATAL_ERROR "A test wrote to ${HOME}/${folder}: it must use its own folders.")
  endif()
endforeach()
