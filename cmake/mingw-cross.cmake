# The cross build for Windows with Debian's mingw-w64 (posix threads variant), for the target
# that the including toolchain file names in NORVANE_MINGW_TARGET (i686-w64-mingw32 or
# x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${NORVANE_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NORVANE_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${NORVANE_MINGW_TARGET}-windres)
set(CMAKE_OBJCOPY ${NORVANE_MINGW_TARGET}-objcopy)
set(CMAKE_STRIP ${NORVANE_MINGW_TARGET}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${NORVANE_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything we ship or test depends on system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
