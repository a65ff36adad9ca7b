#!/usr/bin/env bash
# Builds what we ship into build/release: Norvane.ocx (optimised for size, stripped, with its
# symbols in Norvane.ocx.debug beside it), the installer and the SDK. Idempotent.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
release=$top/build/release

"$top/scripts/setup.sh"
for tool in cmake i686-w64-mingw32-g++-win32 i686-w64-mingw32-objcopy i686-w64-mingw32-strip; do
    command -v "$tool" >/dev/null || { echo "release: $tool is missing" >&2; exit 1; }
done

cmake -S "$top" -B "$release/cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686-release.cmake" >/dev/null
cmake --build "$release/cmake" -j "$(nproc)" --target norvane
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/cmake/CMakeCache.txt")

cp "$release/cmake/bin/Norvane.ocx" "$release/cmake/bin/Norvane.ocx.debug" "$release/"
echo "release: Norvane.ocx $version, $(stat -c %s "$release/Norvane.ocx") bytes"
