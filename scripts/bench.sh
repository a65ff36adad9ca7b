#!/usr/bin/env bash
# Builds and runs tavrix-bench under Wine with the reader simulator answering at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/setup.sh"
"$top/scripts/build.sh" windows >/dev/null
"$top/scripts/release.sh" >/dev/null
bin=$("$top/scripts/release-bin.sh")  # the benchmark measures the shipped Norvane.ocx

source "$top/scripts/wine-session.sh"
wine_session_start "$top/build/demo/wineprefix"
host="$top/build/windows/bin/tavrix-host.exe"
wine "$host" simulator install "$(winepath -w "$top/samples/scenarios/edy-card.txt")" >/dev/null
wine "$bin/tavrix-bench.exe"
