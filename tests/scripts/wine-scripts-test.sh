#!/usr/bin/env bash
# The scripts the others source before they run Windows programs:
#   wine-session.sh stops the Wine servers of the prefixes its sessions started and no other (a
#   WINEPREFIX the caller had exported is the developer's own Wine), and without a prefix it
#   refuses rather than make its Wine folder wherever it stands;
#   architectures.sh runs its probe from the build tree, not the temporary folder, and where the
#   probe cannot be executed at all says so instead of calling the machine 64-bit only.
# A fake wineserver first on PATH records every call, so no Wine runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/failed-step.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failures=0 skipped=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }
pass() { passed=$((passed + 1)); }

mkdir -p "$work/fake-bin" "$work/own-prefix"
cat >"$work/fake-bin/wineserver" <<'EOF'
#!/bin/sh
echo "${WINEPREFIX:-(none)} $*" >>"$WINE_CALLS"
EOF
printf '#!/bin/sh\nexit 0\n' >"$work/fake-bin/wineboot"
chmod +x "$work/fake-bin/wineserver" "$work/fake-bin/wineboot"

# Two sessions one after the other in a script that had the developer's prefix exported; the
# script's exit ends the second.
calls=$work/calls
: >"$calls"
status=0
WINE_CALLS=$calls WINEPREFIX=$work/own-prefix DISPLAY=:0 PATH="$work/fake-bin:$PATH" bash -c '
    set -euo pipefail
    source "$1/scripts/wine-session.sh"
    wine_session_start "$2/first" x64
    wine_session_start "$2/second" x64
' session "$top" "$work" >"$work/session-output" 2>&1 || status=$?
if [ "$status" != 0 ]; then
    fail "two sessions: the script exited $status: $(cat "$work/session-output")"
elif grep -q "^$work/own-prefix " "$calls" || grep -q '^(none) ' "$calls"; then
    fail "a session stopped the caller's own Wine:"$'\n'"$(cat "$calls")"
elif ! sed -n '/^[^ ]*\/first -p$/,$p' "$calls" | grep -q "/first -k$"; then
    fail "the first session's server was left running when the second started:"$'\n'"$(cat "$calls")"
elif [ "$(tail -1 "$calls")" != "$work/second -k" ]; then
    fail "the second session's server was not stopped at the end:"$'\n'"$(cat "$calls")"
else
    pass
fi

# No prefix, or a relative one: a clear refusal, and nothing made in the current folder.
for prefix in "" "relative/prefix"; do
    mkdir -p "$work/cwd"
    status=0
    said=$(cd "$work/cwd" && WINEPREFIX=$prefix bash -c 'source "$1/scripts/wine-session.sh"; wine_session_env x64' \
        env "$top" 2>&1) || status=$?
    if [ "$status" = 0 ] || [[ "$said" != *WINEPREFIX* ]]; then
        fail "wine_session_env with WINEPREFIX='$prefix': exit $status, said: $said"
    elif [ -n "$(ls -A "$work/cwd")" ]; then
        fail "wine_session_env with WINEPREFIX='$prefix' made $(ls -A "$work/cwd") in the current folder"
    else
        pass
    fi
    rm -rf "$work/cwd"
done

# The probe, in a private mount namespace where a folder of the test is mounted noexec: as the
# temporary folder, it changes nothing (the probe runs from the build tree); as the probe's own
# folder, the verdict says the probe could not be executed and claims nothing about the machine.
# A 64-bit-only machine says "Exec format error", one that runs 32-bit programs runs the probe.
mkdir -p "$work/noexec"
if ! unshare -m --propagation private mount -t tmpfs -o noexec none "$work/noexec" 2>/dev/null; then
    echo "skipped: the probe in a noexec folder (no private mount namespace here)"
    skipped=$((skipped + 2))
else
    status=0
    verdicts=$(unshare -m --propagation private bash -c '
        set -euo pipefail
        mount -t tmpfs -o noexec none "$2"
        source "$1/scripts/architectures.sh"
        TMPDIR=$2 norvane_architectures
        echo "$runnable_architectures|$x86_verdict"
        norvane_architectures "$2"
        echo "$runnable_architectures|$x86_verdict"
    ' probe "$top" "$work/noexec" 2>&1) || status=$?
    from_build=$(sed -n 1p <<<"$verdicts") from_noexec=$(sed -n 2p <<<"$verdicts")
    case $from_build in
    "x64|x86 not run: this machine runs 64-bit programs only (a 32-bit probe program could not start: Exec format error)" | \
        "x86 x64|x86 runs here: a 32-bit probe program ran and exited 7") pass ;;
    *) fail "the probe with TMPDIR mounted noexec (exit $status): $from_build" ;;
    esac
    if [[ "$from_noexec" != "x64|x86 not run: "*"cannot be executed"*"Permission denied"*"not known"* ]] ||
        [[ "$from_noexec" == *"64-bit programs only"* ]]; then
        fail "the probe in a folder mounted noexec (exit $status): $from_noexec"
    else
        pass
    fi
fi

echo "wine-scripts: $passed passed, $failures failed, $skipped skipped"
[ "$failures" = 0 ] || exit 1
