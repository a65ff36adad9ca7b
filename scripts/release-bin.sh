#!/usr/bin/env bash
# Prints the folder build/release/bin: the Windows programs of build/windows (hard links) beside
# the shipped Norvane.ocx of build/release, so that tests and benchmarks can run against it.
# Needs both builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=$top/build/release/bin
[ -f "$top/build/release/Norvane.ocx" ] || { echo "release-bin: run scripts/release.sh first" >&2; exit 1; }
[ -d "$top/build/windows/bin" ] || { echo "release-bin: run scripts/build.sh first" >&2; exit 1; }
rm -rf "$bin"
cp -al "$top/build/windows/bin" "$bin"
rm "$bin/Norvane.ocx"
cp "$top/build/release/Norvane.ocx" "$bin/Norvane.ocx"
echo "$bin"
