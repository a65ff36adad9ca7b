# Cross build for 64-bit Windows (x64): the same sources, for 64-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORVANE_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
