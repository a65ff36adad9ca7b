#!/usr/bin/env bash
# Configures and builds both configurations: build/native and build/windows.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

if [ "${1:-all}" != windows ]; then
    cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$top/build/native" -j "$jobs"
fi
cmake -S "$top" -B "$top/build/windows" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$top/build/windows" -j "$jobs"
