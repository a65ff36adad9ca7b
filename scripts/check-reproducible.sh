#!/usr/bin/env bash
# Builds the shipped Norvane.ocx of each architecture from two clean clones of the committed HEAD at different
# paths and compares the bytes: the same commit must give the same file anywhere.
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
    built=()
    for clone in "${clones[@]}"; do
        cmake -S "$clone" -B "$clone/build/release-$processor" -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$clone/cmake/toolchain-mingw-$processor-release.cmake" >/dev/null
        cmake --build "$clone/build/release-$processor" -j "$(nproc)" --target norvane >/dev/null
        built+=("$clone/build/release-$processor/bin/Norvane.ocx")
    done
    if cmp "${built[0]}" "${built[1]}"; then
        echo "reproducible: two clones give the same $processor Norvane.ocx ($(stat -c %s "${built[0]}") bytes, sha256 $(sha256sum "${built[0]}" | cut -c1-16))"
    else
        echo "reproducible: the two $processor builds of $(git -C "$top" rev-parse --short HEAD) differ (kept in $work)" >&2
        exit 1
    fi
done
rm -rf "$work"
