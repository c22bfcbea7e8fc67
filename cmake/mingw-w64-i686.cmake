# Cross build for 32-bit Windows with Debian's MinGW-w64 (POSIX thread model),
# e.g.
#   cmake --preset windows32
# For shop computers with 32-bit Windows, and for POS installations whose
# Firebird client is 32-bit (a 64-bit program cannot load it). Its tests run
# under 32-bit Wine (Debian's wine32) where that is installed; elsewhere the
# build makes the program and checks the built file only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PAGVIGIA_MINGW_PREFIX i686-w64-mingw32)
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
