#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; does nothing that is already done.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/failed-step.sh"

packages=(
    cmake make g++ googletest clang libclang-rt-14-dev          # native build, tests, fuzzing
    g++-mingw-w64-i686-posix mingw-w64-tools                     # 32-bit Windows build, widl
    g++-mingw-w64-x86-64-posix                                   # 64-bit Windows build
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32          # the shipped OCXs, without a threads library
    wine wine32:i386 wine64 libwine-dev fonts-wine               # the platform under test (32-bit Wine
                                                                 # installs where it cannot run, harmlessly)
    xvfb xauth                                                   # a display for Wine's windows
    locales                                                      # the Japanese code page for type library texts
    wixl msitools zip                                            # the release: the installer and the SDK archive
    osslsigncode openssl                                         # the release's signatures
    nlohmann-json3-dev                                           # tavrix-host reads traces (header-only)
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    updated=
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${updated+x}" ]; then
    echo "setup: installing ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The type library keeps its texts in the Japanese ANSI code page (932); Wine takes a
# program's code page from its locale, which must exist.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
