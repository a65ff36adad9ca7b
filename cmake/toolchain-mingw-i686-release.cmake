# The shipped Norvane.ocx: the same cross build with the runtime variant whose threads are the
# platform's own, so that no threads library is linked into it. Builds Norvane.ocx only (the
# test programs and the reader simulator need the standard threads of the posix variant).
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
