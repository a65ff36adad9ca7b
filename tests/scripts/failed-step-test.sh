#!/usr/bin/env bash
# A script of ours that fails at a step says which script, line and command before it exits:
# a step that fails in a function, and one inside a command substitution, each named at its line;
# a failure that the script handles says nothing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/failed-step.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/steps.sh" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
source "$top/scripts/failed-step.sh"
grep -q absent /dev/null || true
step() {
    cp "$work/no such file" "$work/copy"
}
[ "\${1:-}" = substitution ] && copied=\$(step)
step
SCRIPT

failures=0
# The first line names the failing command; the last, the step of the script that failed with it.
check() {  # what, first line, last line, arguments
    local said status=0
    said=$(bash "$work/steps.sh" ${4:-} 2>&1 >/dev/null) || status=$?
    said=$(grep -v '^cp: ' <<<"$said" || true)
    if [ "$status" = 0 ] || [ "$(head -1 <<<"$said")" != "$2" ] || [ "$(tail -1 <<<"$said")" != "$3" ]; then
        printf 'FAIL: %s (exit %s)\n--- expected\n%s\n...\n%s\n--- printed\n%s\n' "$1" "$status" "$2" "$3" "$said" >&2
        failures=$((failures + 1))
    fi
}
cp_line="steps.sh:6: exit 1: cp \"$work/no such file\" \"$work/copy\""
check "a failing step in a function" "$cp_line" "$cp_line"
check "a failing step inside a command substitution" "$cp_line" "steps.sh:8: exit 1: copied=\$(step)" substitution
[ "$failures" = 0 ] || exit 1
echo "failed-step: 2 passed, 0 failed"
