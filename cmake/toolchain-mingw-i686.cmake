# Cross build for 32-bit Windows (x86), the control's first platform.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(NORVANE_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
