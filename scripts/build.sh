#!/usr/bin/env bash
# Configures and builds the configurations named (all three when none is):
#   native  build/native:       platform-neutral code, its tests and fuzz targets
#   x86     build/windows:      the 32-bit Windows build
#   x64     build/windows-x64:  the 64-bit Windows build, from the same sources
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"
jobs=$(nproc)

for configuration in ${*:-native x86 x64}; do
    case $configuration in
    native)
        cmake -S "$top" -B "$top/build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
        cmake --build "$top/build/native" -j "$jobs" ;;
    x86 | x64)
        build=$top/build/$(windows_build "$configuration")
        cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$(mingw_processor "$configuration").cmake" >/dev/null
        cmake --build "$build" -j "$jobs" ;;
    *) echo "build: unknown configuration $configuration (native, x86, x64)" >&2; exit 2 ;;
    esac
done
