#!/usr/bin/env bash
# Builds the shipped Norvane.ocx and NorvaneCardReader.dll of each architecture from two clean clones
# of the committed HEAD at different paths and compares the bytes: the same commit must give the
# same files anywhere. (The reader object is compared as its build leaves it, symbols and all: the
# release strips it with a fixed time stamp.)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"
top=$(cd "$(dirname "$0")/.." && pwd)
work=$top/build/reproducible

"$top/scripts/setup.sh"
rm -rf "$work"
mkdir -p "$work"
clones=("$work/one" "$work/another-clone/at/a/deeper/path")
for clone in "${clones[@]}"; do git clone -q "$top" "$clone"; done
for processor in i686 x86_64; do
    for clone in "${clones[@]}"; do
        cmake -S "$clone" -B "$clone/build/release-$processor" -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$clone/cmake/toolchain-mingw-$processor-release.cmake" >/dev/null
        cmake --build "$clone/build/release-$processor" -j "$(nproc)" --target norvane norvane_card_reader >/dev/null
    done
    for file in Norvane.ocx NorvaneCardReader.dll; do
        built=("${clones[0]}/build/release-$processor/bin/$file" "${clones[1]}/build/release-$processor/bin/$file")
        if cmp "${built[0]}" "${built[1]}"; then
            echo "reproducible: two clones give the same $processor $file ($(stat -c %s "${built[0]}") bytes, sha256 $(sha256sum "${built[0]}" | cut -c1-16))"
        else
            echo "reproducible: the two $processor builds of $file at $(git -C "$top" rev-parse --short HEAD) differ (kept in $work)" >&2
            exit 1
        fi
    done
done
rm -rf "$work"
