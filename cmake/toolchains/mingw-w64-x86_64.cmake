# SPDX-License-Identifier: Apache-2.0
# Cross-builds Quillmont for 64-bit Windows with Debian's MinGW-w64 compilers (packages
# g++-mingw-w64-x86-64-posix and mingw-w64-x86-64-dev). The posix thread model is the one whose
# libstdc++ has std::thread and std::this_thread::sleep_for.
#
# Programs are linked statically, so a built .exe needs no MinGW runtime DLL next to it: it runs
# as it is on Windows, and under Wine here (CMAKE_CROSSCOMPILING_EMULATOR, which CTest uses).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMONT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMONT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMONT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMONT_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot only, never from the build machine's
# /usr/include or /usr/lib; programs (code generators, Wine) come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMONT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 package installs wine64 under /usr/lib/wine; the wine package adds the
# /usr/bin/wine launcher that picks the right one for a 64-bit program.
find_program(QUILLMONT_WINE NAMES wine wine64 wine-stable PATHS /usr/lib/wine)
if(QUILLMONT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMONT_WINE})
endif()
