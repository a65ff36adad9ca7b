#!/usr/bin/env bash
# Builds what we ship into build/release: Norvane.ocx (optimised for size, stripped, with its
# symbols in Norvane.ocx.debug beside it), the installer and the SDK. Idempotent.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
release=$top/build/release

"$top/scripts/setup.sh"
for tool in cmake i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++-posix i686-w64-mingw32-objcopy \
    i686-w64-mingw32-strip wixl msibuild zip; do
    command -v "$tool" >/dev/null || { echo "release: $tool is missing" >&2; exit 1; }
done

cmake -S "$top" -B "$release/cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686-release.cmake" >/dev/null
cmake --build "$release/cmake" -j "$(nproc)" --target norvane
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/cmake/CMakeCache.txt")

# The SDK's tools (the reader simulator and tavrix-host) use the standard threads: the posix
# variant builds them, in a tree of their own.
cmake -S "$top" -B "$release/tools" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$release/tools" -j "$(nproc)" --target felica_simulator tavrix-host

cp "$release/cmake/bin/Norvane.ocx" "$release/cmake/bin/Norvane.ocx.debug" "$release/"
echo "release: Norvane.ocx $version, $(stat -c %s "$release/Norvane.ocx") bytes"

# The installer, written under a temporary name so that a failed build leaves no package
# that looks finished.
msi=$release/Norvane-$version.msi
rm -f "$msi" "$msi.partial"
"$top/installer/build-msi.sh" "$version" "$release" "$msi.partial"
mv "$msi.partial" "$msi"
echo "release: $(basename "$msi"), $(stat -c %s "$msi") bytes"

# The SDK: what an integrator builds against and tests with. Every entry gets the time of the
# commit, so that the archive changes only when its contents do.
sdk=Norvane-$version-sdk
stage=$release/sdk-stage
rm -rf "$stage" "$release/$sdk.zip"
mkdir -p "$stage/$sdk/bin/simulator" "$stage/$sdk/include" "$stage/$sdk/samples"
cp "$top/sdk/README.md" "$stage/$sdk/"
cp "$release/Norvane.ocx" "$release/tools/bin/tavrix-host.exe" "$stage/$sdk/bin/"
cp "$release/tools/bin/simulator/felica.dll" "$stage/$sdk/bin/simulator/"
cp "$release/cmake/control/Tavrix.tlb" "$release/cmake/control/Tavrix_h.h" "$release/cmake/control/Tavrix_i.c" \
    "$stage/$sdk/include/"
# The tools are built with their symbols; the SDK needs none of them. (strip stamps the
# images with the time of stripping: the archive differs from run to run by these two.)
i686-w64-mingw32-strip "$stage/$sdk/bin/tavrix-host.exe" "$stage/$sdk/bin/simulator/felica.dll"
cp -r "$top/samples/cpp" "$top/samples/vbscript" "$top/samples/scenarios" "$stage/$sdk/samples/"
stamp=$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 0)
find "$stage" -exec touch -h -d "@$stamp" {} +
(cd "$stage" && find "$sdk" | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$release/$sdk.zip.partial")
mv "$release/$sdk.zip.partial" "$release/$sdk.zip"
rm -rf "$stage"
echo "release: $sdk.zip, $(stat -c %s "$release/$sdk.zip") bytes"
