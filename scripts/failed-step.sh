# Sourced by every script right after `set -euo pipefail`: a command that fails there ends the
# script, and would end it without a word. This names the script, the line and the command first:
#   installer-test.sh:212: exit 1: rm -r "$(host_path "$1" "$folder")"
# Functions, command substitutions and subshells report too (set -E), each at its own line, so a
# failure inside one shows where it happened and then where it was called.
set -E
trap 'failed_step $? "${BASH_SOURCE[0]:-$0}" "$LINENO" "$BASH_COMMAND"' ERR
failed_step() {  # status, script, line, command
    printf '%s:%s: exit %s: %s\n' "$(basename "$2")" "$3" "$1" "$4" >&2
}
