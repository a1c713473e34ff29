# Cross build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64), with
# the POSIX thread model. Programs built here run under Wine, so ctest runs the tests as they
# would run on Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything linked statically: the programs need no DLL beyond the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Wine with a prefix of the build folder's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh;${CMAKE_BINARY_DIR}/wine")
