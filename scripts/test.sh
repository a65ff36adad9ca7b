#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test: the native ones
# directly, the Windows ones under Wine for each architecture this machine runs (x64 always,
# x86 where 32-bit programs run), each in its build tree's own prefix; then builds the release
# of both architectures and tests it. What this machine cannot run is built and checked without
# running it, and said in one line. NORVANE_X64_ONLY=1 takes the 64-bit-only path anywhere.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"
source "$top/scripts/wine-session.sh"

"$top/scripts/setup.sh"
norvane_architectures
echo "== architectures: $x86_verdict; x64 runs under 64-bit Wine"
not_run=()
x86_runs() { [[ " $runnable_architectures " == *" x86 "* ]]; }
x86_runs || not_run+=("x86: every Windows test program, the release's tests, its installer test and both builds registered side by side ($x86_verdict)")

"$top/scripts/build.sh"

echo "== native tests"
ctest --test-dir "$top/build/native" --output-on-failure

for arch in $runnable_architectures; do
    build=$top/build/$(windows_build "$arch")
    echo "== $arch Windows tests under Wine"
    wine_session_start "$build/wineprefix" "$arch"
    ctest --test-dir "$build" --output-on-failure
done
if ! x86_runs; then
    # What needs no x86 program: its imports; below, its type library and version resource read
    # from the 64-bit side against the same expectations as the x64 one's.
    echo "== x86 Windows build, checked without running it"
    ctest --test-dir "$top/build/windows" --output-on-failure -R '^(norvane|tracing|card_reader)_system_imports$'
fi
read_from_x64() {  # an x86 OCX: its type library and version resource, read by the x64 test programs
    wine_session_start "$top/build/windows-x64/wineprefix" x64
    local file
    file=$(winepath -w "$1")
    (cd "$top/build/windows-x64/bin" &&
        NORVANE_TYPELIB_FILE=$file LC_ALL=ja_JP.UTF-8 timeout 300 wine ./type_library_tests.exe --gtest_brief=1 &&
        NORVANE_OCX_FILE=$file timeout 300 wine ./version_resource_tests.exe --gtest_brief=1)
}
echo "-- the x86 Norvane.ocx, read by the x64 build"
read_from_x64 "$top/build/windows/bin/Norvane.ocx"
echo "-- the x86 NorvaneCardReader.dll's type library, read by the x64 build"
(cd "$top/build/windows-x64/bin" &&
    NORVANE_CARD_READER_FILE=$(winepath -w "$top/build/windows/bin/NorvaneCardReader.dll") \
        timeout 300 wine ./card_reader_type_library_tests.exe --gtest_brief=1)

if x86_runs; then
    echo "== both builds registered on one machine"
    "$top/tests/server/both-architectures-test.sh"
fi

echo "== the release: its signatures"
"$top/scripts/release.sh"
"$top/tests/release/signatures-test.sh"
echo "== the release: the shipped Norvane.ocx under the control's own tests"
for arch in $runnable_architectures; do
    bin=$("$top/scripts/release-bin.sh" "$arch")
    wine_session_start "$top/build/$(windows_build "$arch")/wineprefix" "$arch"
    for test in type_library_tests version_resource_tests class_factory_tests registration_tests control_object_tests \
        in_place_activation_tests persistence_tests atl_host_tests apartment_threads_tests unload_tests; do
        echo "-- $arch $test"
        (cd "$bin" && LC_ALL=ja_JP.UTF-8 timeout 300 wine "./$test.exe" --gtest_brief=1)
    done
done
if ! x86_runs; then
    echo "-- the shipped x86 Norvane.ocx, checked without running it"
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DMODULE="$top/build/release/Norvane.ocx" \
        -P "$top/cmake/CheckSystemImports.cmake" | tail -1
    read_from_x64 "$top/build/release/Norvane.ocx"
fi

for arch in $runnable_architectures; do
    echo "== the release: $arch installer and SDK under Wine"
    "$top/tests/installer/installer-test.sh" --arch "$arch"
done

echo "== the release: the same commit gives the same Norvane.ocx"
"$top/scripts/check-reproducible.sh"

echo "== done: native tests, Windows tests for ${runnable_architectures// / and }, the release"
for line in "${not_run[@]}"; do echo "not run here: $line"; done
