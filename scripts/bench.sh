#!/usr/bin/env bash
# Builds and runs tavrix-bench under Wine with the reader simulator answering at once, for each
# architecture this machine runs, and prints their figures side by side.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"
source "$top/scripts/wine-session.sh"

"$top/scripts/setup.sh"
norvane_architectures
echo "bench: $x86_verdict" >&2
"$top/scripts/build.sh" $runnable_architectures >/dev/null
"$top/scripts/release.sh" >/dev/null
figures=()
for arch in $runnable_architectures; do
    bin=$("$top/scripts/release-bin.sh" "$arch")  # the benchmark measures the shipped Norvane.ocx
    wine_session_start "$top/build/demo/wineprefix-$arch" "$arch"
    host="$top/build/$(windows_build "$arch")/bin/tavrix-host.exe"
    wine "$host" simulator install "$(winepath -w "$top/samples/scenarios/edy-card.txt")" >/dev/null
    figures+=("$top/build/demo/bench-$arch.txt")
    (cd "$bin" && wine ./tavrix-bench.exe) | tr -d '\r' >"$top/build/demo/bench-$arch.txt"
    # The same read with the tracing library in place over the simulator, writing a level-2 trace.
    trace=$(winepath -w "$top/build/demo/bench-trace-$arch.jsonl")
    wine "$host" trace install --level 2 --file "$trace" >/dev/null
    {
        echo "1b. The same, with the tracing library in place (level 2, a line per call to a file)"
        (cd "$bin" && wine ./tavrix-bench.exe --read) | tr -d '\r' | tail -n +2
    } >>"$top/build/demo/bench-$arch.txt"
    wine "$host" trace remove >/dev/null
    rm -f "$top/build/demo/bench-trace-$arch.jsonl" "$top/build/demo/bench-trace-$arch.jsonl.1"
done
# Side by side: each line of the first architecture's figures beside the same line of the next.
if [ ${#figures[@]} -eq 1 ]; then
    echo "== ${runnable_architectures}"; cat "${figures[0]}"
else
    printf '%-100s | %s\n' "== x86" "== x64"
    paste -d '\t' "${figures[@]}" | awk -F'\t' '{ printf "%-100s | %s\n", $1, $2 }'
fi
