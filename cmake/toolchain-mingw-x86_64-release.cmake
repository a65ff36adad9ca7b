# The shipped 64-bit Norvane.ocx: as toolchain-mingw-i686-release.cmake, for x64.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
