# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, for std::thread and std::mutex), run under wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELORA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELORA_MINGW_PREFIX}-windres)

# Headers and libraries of the target only: the host's /usr/include holds
# glibc's headers, which break MinGW's.
set(CMAKE_FIND_ROOT_PATH /usr/${VELORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under wine.
find_program(VELORA_WINE NAMES wine wine64)
if(VELORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELORA_WINE})
endif()

# This compiler's string library warns falsely (-Wrestrict) on a literal
# joined to a temporary string once such code is inlined (at -O2 as at -O3):
# that one warning is off for this build.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
