# Test programs run under Wine of the build's own architecture (32-bit Wine for x86, 64-bit
# Wine for x64) in the build tree's own prefix. The test scripts create the prefix and start
# its wineserver; ctest only points the programs at it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(NORVANE_ARCH x64)
    set(NORVANE_WINEARCH win64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
    set(NORVANE_ARCH x86)
    set(NORVANE_WINEARCH win32)
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
set(NORVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for tests and the demo")
set(NORVANE_WINE_ENVIRONMENT "WINEPREFIX=${NORVANE_WINEPREFIX}" "WINEARCH=${NORVANE_WINEARCH}" "WINEDEBUG=-all")

# Each output folder holds what one Windows program needs beside it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Adds a Windows test program to ctest, run under Wine with a time limit.
function(norvane_wine_test target)
    add_test(NAME ${target} COMMAND ${target} ${ARGN})
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "${NORVANE_WINE_ENVIRONMENT}" TIMEOUT 300)
endfunction()
