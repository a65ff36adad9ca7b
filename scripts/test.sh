#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test: the native
# ones directly, the Windows ones under Wine in the build tree's own prefix; then builds the
# release and tests its installer and SDK in fresh prefixes of their own.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/setup.sh"
"$top/scripts/build.sh"

echo "== native tests"
ctest --test-dir "$top/build/native" --output-on-failure

echo "== Windows tests under Wine"
source "$top/scripts/wine-session.sh"
wine_session_start "$top/build/windows/wineprefix"
ctest --test-dir "$top/build/windows" --output-on-failure

echo "== the release: the shipped Norvane.ocx under the control's own tests"
"$top/scripts/release.sh"
bin=$("$top/scripts/release-bin.sh")
for test in type_library_tests class_factory_tests registration_tests control_object_tests \
    in_place_activation_tests persistence_tests atl_host_tests apartment_threads_tests unload_tests; do
    echo "-- $test"
    (cd "$bin" && LC_ALL=ja_JP.UTF-8 timeout 300 wine "./$test.exe" --gtest_brief=1)
done

echo "== the release: installer and SDK under Wine"
"$top/tests/installer/installer-test.sh"

echo "== the release: the same commit gives the same Norvane.ocx"
"$top/scripts/check-reproducible.sh"
