#!/usr/bin/env bash
# The demo: builds, installs the reader simulator with a sample EDY card in the demo's own
# Wine prefix, registers the control, opens tavrix-host with the control in place, reads the
# card, prints the event and saves a screenshot. Runs the x86 build where this machine runs
# 32-bit programs, the x64 build otherwise (NORVANE_X64_ONLY=1 chooses x64 anywhere), and says
# which. Uses your display when there is one, Xvfb otherwise.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"

"$top/scripts/setup.sh"
norvane_architectures
arch=${runnable_architectures%% *}
echo "demo: the $arch build ($x86_verdict)"
"$top/scripts/build.sh" "$arch" >/dev/null

source "$top/scripts/wine-session.sh"
wine_session_start "$top/build/demo/wineprefix-$arch" "$arch"

host="$top/build/$(windows_build "$arch")/bin/tavrix-host.exe"
screenshot="$top/build/demo/tavrix-host.png"
wine "$host" simulator install "$(winepath -w "$top/samples/scenarios/edy-card.txt")"
wine "$host" register
echo "tavrix-host window --read EDY"
status=0
wine "$host" window --read EDY --screenshot "$(winepath -w "$screenshot")" --exit || status=$?
echo "screenshot: $screenshot"
echo "tavrix-host read EDY"
wine "$host" read EDY || status=$?
echo "exit status $status (0 good read, 1 failed read, 2 fault)"
