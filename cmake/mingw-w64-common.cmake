# What both MinGW-w64 cross builds share (POSIX thread model, so that
# std::thread and std::mutex work); the including toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and PAGVIGIA_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PAGVIGIA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAGVIGIA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PAGVIGIA_MINGW_PREFIX}-windres)
set(PAGVIGIA_WINDMC ${PAGVIGIA_MINGW_PREFIX}-windmc)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PAGVIGIA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
