#!/usr/bin/env bash
# Builds the installer from Norvane.wxs:  build-msi.sh VERSION BINDIR OUTPUT [x86|x64]
# (BINDIR: the folder holding the Norvane.ocx and NorvaneCardReader.dll of that architecture, x86
# when none is given).
# wixl writes every database in a Western code page and leaves a dangling string in any cell
# whose text that page cannot hold, so the database is switched to the Japanese page (932) and
# each RegistryValue with such a text (it must carry an Id) is written again with msibuild.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/failed-step.sh"
here=$(cd "$(dirname "$0")" && pwd)
wxs=${NORVANE_WXS:-$here/Norvane.wxs}
usage() { echo "usage: $0 VERSION BINDIR OUTPUT [x86|x64]" >&2; exit 2; }
[ $# -eq 3 ] || [ $# -eq 4 ] || usage
version=$1 bindir=$2 output=$3 arch=${4:-x86}
case $arch in x86 | x64) ;; *) usage ;; esac
for tool in wixl msibuild; do
    command -v "$tool" >/dev/null || { echo "build-msi: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
    -D BinDir="$(realpath --relative-to="$(dirname "$wxs")" "$bindir")" -o "$work/package.msi" "$wxs"
printf '\r\n\r\n932\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
msibuild "$work/package.msi" -i "$work/_ForceCodepage.idt"
grep -P '[^\x00-\x7F]' "$wxs" | grep '<RegistryValue' | while IFS= read -r line; do
    id=$(sed -n 's/.* Id="\([^"]*\)".*/\1/p' <<<"$line")
    value=$(sed -n 's/.* Value="\([^"]*\)".*/\1/p' <<<"$line")
    [ -n "$id" ] || { echo "build-msi: a RegistryValue with a non-ASCII text needs an Id: $line" >&2; exit 1; }
    msibuild "$work/package.msi" -q "UPDATE \`Registry\` SET \`Value\` = '$value' WHERE \`Registry\` = '$id'"
done
# wixl knows no AllowSameVersionUpgrades: the upgrade row is made inclusive of this version
# (msidbUpgradeAttributesVersionMaxInclusive), so that a rebuild replaces the installed product of
# the same version instead of installing beside it.
# (Attributes is part of the table's key, which SQL cannot update: the table is written anew.)
msiinfo export "$work/package.msi" Upgrade | tr -d '\r' |
    awk -F'\t' -v OFS='\t' '$7 == "WIX_UPGRADE_DETECTED" && int($5 / 512) % 2 == 0 { $5 += 512 } { printf "%s\r\n", $0 }' >"$work/Upgrade.idt"
grep -q $'\t513\t\tWIX_UPGRADE_DETECTED\r$' "$work/Upgrade.idt" ||
    { echo "build-msi: the package has no upgrade row to make inclusive" >&2; exit 1; }
msibuild "$work/package.msi" -i "$work/Upgrade.idt"
mv "$work/package.msi" "$output"
