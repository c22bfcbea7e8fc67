# Cross build for 32-bit Windows with Debian's MinGW-w64, e.g.
#   cmake --preset windows32
# For shop computers with 32-bit Windows, and for POS installations whose
# Firebird client is 32-bit (a 64-bit program cannot load it). Its tests run
# under 32-bit Wine (Debian's wine32) where that is installed; elsewhere the
# build makes the program and checks the built file only.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PAGVIGIA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
