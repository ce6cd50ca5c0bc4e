# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (package
# g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TREVLIN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TREVLIN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TREVLIN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TREVLIN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TREVLIN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One self-contained .exe: the C++ runtime, libgcc and winpthread linked in,
# so that it needs no DLL a bare Windows lacks.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# zlib (package libz-mingw-w64-dev) linked in too, not as zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
