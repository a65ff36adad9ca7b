#!/usr/bin/env bash
# Prints the folder build/release/bin (x86) or build/release/x64/bin (x64): the Windows programs of
# that architecture's build (hard links) beside its shipped Norvane.ocx, so that tests and
# benchmarks can run against it. Needs both builds.   release-bin.sh [x86|x64]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/architectures.sh"
arch=${1:-x86}
release=$top/build/release
[ "$arch" = x64 ] && release=$release/x64
build=$top/build/$(windows_build "$arch")
bin=$release/bin
[ -f "$release/Norvane.ocx" ] || { echo "release-bin: run scripts/release.sh first" >&2; exit 1; }
[ -d "$build/bin" ] || { echo "release-bin: run scripts/build.sh $arch first" >&2; exit 1; }
rm -rf "$bin"
cp -al "$build/bin" "$bin"
rm "$bin/Norvane.ocx"
cp "$release/Norvane.ocx" "$bin/Norvane.ocx"
echo "$bin"
