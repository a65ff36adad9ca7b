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

echo "== the release: installer and SDK under Wine"
"$top/scripts/release.sh"
"$top/tests/installer/installer-test.sh"
