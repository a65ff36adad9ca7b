#!/usr/bin/env bash
# The demo: builds the Windows programs, installs the reader simulator with a sample
# EDY card in the demo's own Wine prefix, and reads the card once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/setup.sh"
"$top/scripts/build.sh" windows

source "$top/scripts/wine-session.sh"
wine_session_start "$top/build/demo/wineprefix"

library="$WINEPREFIX/drive_c/Program Files/Common Files/Sony Shared/FeliCaLibrary"
mkdir -p "$library"
cp "$top/build/windows/bin/simulator/felica.dll" "$library/felica.dll"

echo "tavrix-host read EDY"
status=0
wine "$top/build/windows/bin/tavrix-host.exe" read EDY || status=$?
echo "exit status $status (0 good read, 1 failed read, 2 fault)"
