#!/usr/bin/env bash
# Both builds registered on one 64-bit machine (a win64 prefix, where 32-bit programs run through
# its SysWOW64 folder): registering or unregistering one architecture leaves the other creatable
# by its ProgID and scriptable, whichever order. Needs a machine that runs 32-bit programs and
# both builds (scripts/build.sh x86 x64).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/failed-step.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$top/build/both-architectures
source "$top/scripts/wine-session.sh"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work"
wine_session_start "$work/wineprefix" x64
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/Program Files (x86)/Norvane" "$drive/Program Files/Norvane"
cp "$top/build/windows/bin/Norvane.ocx" "$drive/Program Files (x86)/Norvane/"
cp "$top/build/windows-x64/bin/Norvane.ocx" "$drive/Program Files/Norvane/"
printf 'Set t = CreateObject("Tavrix.Tavrix")\r\nt.Caption = "both"\r\nWScript.Echo t.Caption\r\n' \
    >"$drive/users/Public/create.vbs"

# Each architecture's own regsvr32 and script host.
system() { if [ "$1" = x86 ]; then echo 'C:\windows\syswow64'; else echo 'C:\windows\system32'; fi; }
ocx() { if [ "$1" = x86 ]; then echo 'C:\Program Files (x86)\Norvane\Norvane.ocx'; else echo 'C:\Program Files\Norvane\Norvane.ocx'; fi; }
regsvr32() {  # arch, [/u]
    wine "$(system "$1")\\regsvr32.exe" /s ${2:+"$2"} "$(ocx "$1")" </dev/null >/dev/null 2>&1 ||
        fail "$1 regsvr32 ${2:-} exited $?"
}
scriptable() {  # arch, when
    local said
    said=$(wine "$(system "$1")\\cscript.exe" //nologo 'C:\users\Public\create.vbs' </dev/null 2>/dev/null | tr -d '\r')
    [ "$said" = both ] || fail "$1 not creatable and scriptable $2 (said: $said)"
}

for first in x86 x64; do
    other=x64; [ "$first" = x64 ] && other=x86
    regsvr32 "$first"
    regsvr32 "$other"
    scriptable x86 "with both registered"
    scriptable x64 "with both registered"
    regsvr32 "$first" /u
    scriptable "$other" "after $first was unregistered"
    regsvr32 "$other" /u
    regsvr32 "$first"
    regsvr32 "$other"
    regsvr32 "$other" /u
    scriptable "$first" "after $other was unregistered"
    regsvr32 "$first" /u
done

if [ "$failures" -gt 0 ]; then
    echo "both architectures: $failures failures" >&2
    exit 1
fi
echo "both architectures: each stays creatable and scriptable while the other is registered or removed"
