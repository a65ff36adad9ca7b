#!/usr/bin/env bash
# Builds what we ship into build/release: for x86, Norvane.ocx and the reader object
# NorvaneCardReader.dll (optimised for size, stripped, with their symbols in Norvane.ocx.debug and
# NorvaneCardReader.dll.debug beside them) and Norvane-<version>.msi; for x64 the same in
# build/release/x64 and Norvane-<version>-x64.msi; and the SDK with both. Every executable file we
# ship and each package is signed (scripts/signing.sh says by whom); the bytes before signing stay
# in unsigned/ of each architecture's folder. Idempotent.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"
release=$top/build/release

"$top/scripts/setup.sh"
for tool in cmake i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++-posix i686-w64-mingw32-strip i686-w64-mingw32-objcopy \
    x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-strip x86_64-w64-mingw32-objcopy \
    wixl msibuild zip \
    osslsigncode openssl; do
    command -v "$tool" >/dev/null || { echo "release: $tool is missing" >&2; exit 1; }
done

# Every entry of the SDK and every signature gets the time of the commit, so that they change
# only when the contents do.
stamp=$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 0)
source "$top/scripts/signing.sh"
signing_credentials "$release" "$stamp"

# The folder of an architecture's shipped files: x86 keeps the places it always had.
shipped() { if [ "$1" = x64 ]; then echo "$release/x64"; else echo "$release"; fi; }
msi_name() { if [ "$1" = x64 ]; then echo "Norvane-$version-x64.msi"; else echo "Norvane-$version.msi"; fi; }

for arch in x86 x64; do
    out=$(shipped "$arch")
    processor=$(mingw_processor "$arch")
    cmake -S "$top" -B "$out/cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$processor-release.cmake" >/dev/null
    cmake --build "$out/cmake" -j "$(nproc)" --target norvane norvane_card_reader
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/cmake/CMakeCache.txt")

    # The SDK's tools (the reader simulator and tavrix-host) use the standard threads: the posix
    # variant builds them, in a tree of their own.
    cmake -S "$top" -B "$out/tools" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$processor.cmake" >/dev/null
    cmake --build "$out/tools" -j "$(nproc)" --target felica_simulator felica_tracing tavrix-host

    # The tools are built with their symbols; the SDK needs none of them. (strip stamps the
    # images with the time of stripping: the archive differs from run to run by these.)
    rm -rf "$out/unsigned"
    mkdir -p "$out/unsigned/tracing"
    cp "$out/cmake/bin/Norvane.ocx" "$out/tools/bin/tavrix-host.exe" "$out/tools/bin/simulator/felica.dll" "$out/unsigned/"
    cp "$out/tools/bin/tracing/felica.dll" "$out/unsigned/tracing/"
    "$processor-w64-mingw32-strip" "$out/unsigned/tavrix-host.exe" "$out/unsigned/felica.dll" \
        "$out/unsigned/tracing/felica.dll"
    cp "$out/cmake/bin/Norvane.ocx" "$out/cmake/bin/Norvane.ocx.debug" "$out/"
    sign_file "$out/Norvane.ocx"
    echo "release: $arch Norvane.ocx $version, $(stat -c %s "$out/Norvane.ocx") bytes, signed"
    # The reader object's build leaves it whole: stripped here as the OCX's build strips the OCX,
    # its symbols beside it and linked by name, stamped with the same time (SOURCE_DATE_EPOCH or
    # zero) so that the bytes stay the same from run to run.
    reader=NorvaneCardReader.dll
    (cd "$out" && export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0} &&
        "$processor-w64-mingw32-objcopy" --only-keep-debug "cmake/bin/$reader" "$reader.debug" &&
        "$processor-w64-mingw32-strip" --strip-all -o "unsigned/$reader" "cmake/bin/$reader" &&
        "$processor-w64-mingw32-objcopy" --add-gnu-debuglink="$reader.debug" "unsigned/$reader")
    cp "$out/unsigned/$reader" "$out/"
    sign_file "$out/$reader"
    echo "release: $arch $reader $version, $(stat -c %s "$out/$reader") bytes, signed"

    # The installer, written under a temporary name so that a failed build leaves no package
    # that looks finished.
    msi=$release/$(msi_name "$arch")
    rm -f "$msi" "$msi.partial"
    "$top/installer/build-msi.sh" "$version" "$out" "$msi.partial" "$arch"
    sign_file "$msi.partial"
    mv "$msi.partial" "$msi"
    echo "release: $(basename "$msi"), $(stat -c %s "$msi") bytes"
done

# The SDK: what an integrator builds against and tests with, for both architectures (x64 in
# folders of that name).
sdk=Norvane-$version-sdk
stage=$release/sdk-stage
rm -rf "$stage" "$release/$sdk.zip"
cp_sdk() {  # arch, bin folder, include folder
    local out
    out=$(shipped "$1")
    mkdir -p "$2/simulator" "$2/tracing" "$3"
    cp "$out/Norvane.ocx" "$out/NorvaneCardReader.dll" "$out/unsigned/tavrix-host.exe" "$2/"
    cp "$out/unsigned/felica.dll" "$2/simulator/"
    cp "$out/unsigned/tracing/felica.dll" "$2/tracing/"
    sign_file "$2/tavrix-host.exe"
    sign_file "$2/simulator/felica.dll"
    sign_file "$2/tracing/felica.dll"
    cp "$out/cmake/control/Tavrix.tlb" "$3/"
    cp "$release/$(msi_name "$1")" "$stage/$sdk/"
}
mkdir -p "$stage/$sdk/samples"
cp "$top/sdk/README.md" "$top/sdk/messages.md" "$stage/$sdk/"
cp_sdk x86 "$stage/$sdk/bin" "$stage/$sdk/include"
cp_sdk x64 "$stage/$sdk/bin/x64" "$stage/$sdk/include/x64"
# The header and identifiers are the same for both.
cp "$release/cmake/control/Tavrix_h.h" "$release/cmake/control/Tavrix_i.c" "$stage/$sdk/include/"
cp -r "$top/samples/cpp" "$top/samples/vbscript" "$top/samples/wsh" "$top/samples/hta" "$top/samples/vba" \
    "$top/samples/dotnet" "$top/samples/scenarios" "$stage/$sdk/samples/"
# For integrators whose own installer places the control: its registry entries at our installers'
# paths, read from the package's source, and that source for those who build with WiX. The x86
# control's folder is "Program Files (x86)" on 64-bit Windows and "Program Files" on 32-bit
# Windows, which has no other: a fragment for each.
mkdir -p "$stage/$sdk/registry" "$stage/$sdk/installer"
while read -r arch name ocx; do
    "$top/installer/registry-fragment.sh" "$arch" "$ocx" >"$stage/$sdk/registry/$name"
done <<'EOF'
x86 Norvane-x86.reg                      C:\Program Files (x86)\Norvane\Norvane.ocx
x86 Norvane-x86-on-32-bit-Windows.reg    C:\Program Files\Norvane\Norvane.ocx
x64 Norvane-x64.reg                      C:\Program Files\Norvane\Norvane.ocx
EOF
cp "$top/installer/Norvane.wxs" "$stage/$sdk/installer/"
# For applications that carry the control with nothing registered: each architecture's assembly
# manifest, made from the same rows, and a sample of the application's own manifest.
for arch in x86 x64; do
    mkdir -p "$stage/$sdk/registration-free/$arch"
    "$top/installer/assembly-manifest.sh" "$arch" "$version" >"$stage/$sdk/registration-free/$arch/Norvane.Tavrix.manifest"
done
cp -r "$top/samples/registration-free" "$stage/$sdk/samples/"
find "$stage" -exec touch -h -d "@$stamp" {} +
(cd "$stage" && find "$sdk" | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$release/$sdk.zip.partial")
mv "$release/$sdk.zip.partial" "$release/$sdk.zip"
rm -rf "$stage"
echo "release: $sdk.zip, $(stat -c %s "$release/$sdk.zip") bytes"
