# Shared by the MinGW-w64 toolchains: KEST_MINGW_TARGET names the target triple.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KEST_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEST_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${KEST_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KEST_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C++ runtime and the threads library linked in: kest.exe needs only Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
