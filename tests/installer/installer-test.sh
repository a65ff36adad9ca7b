#!/usr/bin/env bash
# The installer and the SDK under Wine, in fresh prefixes of their own, for the control and the
# reader object beside it (Norvane.ocx and NorvaneCardReader.dll, "the files" below):
#   reference: regsvr32 registers both files at the installer's path; what it writes is the bar;
#              then the installer goes over a regsvr32 registration of other copies;
#   msi:       install, compare, use the control and the reader object, uninstall; upgrade from
#              a lower version, a rebuild of the same version over it, a downgrade refused, a
#              repair of deleted files, then uninstall with the installed files already deleted by
#              hand; for x64, then install and uninstall beside a registration of the x86 files;
#   side by side (where one Windows holds both packages): each removed first in turn;
#   registration-free: the SDK's assembly manifest beside a program, nothing registered;
#   fragment:  for each Windows the architecture runs on, the SDK's .reg for it imported for the
#              files at its paths in a fresh prefix of that kind, compared with what that kind's
#              regsvr32 writes for the files there, then the control and the reader object used.
#   installer-test.sh [--arch x86|x64] [WXS]
# x86 (the default) tests Norvane-<version>.msi in win32 prefixes, x64 Norvane-<version>-x64.msi
# in win64 prefixes, each with that architecture's regsvr32, script host and tavrix-host; the x86
# fragments also in a win64 prefix, through its SysWOW64 programs. The steps are the same for
# both: what differs is data, set here once.
# Needs scripts/release.sh to have run, and the architecture's Windows build for the
# registration-free probe (NORVANE_PROBE_BIN names another folder holding
# registration_free_probe.exe). With a .wxs as argument, both packages are built from it
# instead, and the fragment made from it (to see the test fail against a broken source).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/failed-step.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/architectures.sh"
usage() { echo "usage: $0 [--arch x86|x64] [WXS]" >&2; exit 2; }
arch=x86
if [ "${1:-}" = --arch ]; then
    [ $# -ge 2 ] || usage
    arch=$2
    shift 2
fi
[ $# -le 1 ] || usage
release=$top/build/release
# The architecture's shipped files, its package's name, its product's name in the installed
# programs and its tools' folder in the SDK, and the other architecture's; and for each Windows it
# runs on, a row: its name, the Wine of its prefixes, the SDK's fragment for it, the registry view
# to import that into and to read the entries from, and the folder of the architecture's own
# programs (regsvr32, the script host) there. Where the architecture's Windows can hold both packages, a row for each package
# there: its architecture, package name suffix, shipped files, tools' folder in the SDK, registry
# view and programs' folder.
case $arch in
    x86)
        bin=$release suffix= sdk_bin=bin work=$release/installer-test product='Norvane (x86)'
        other=x64 other_bin=bin/x64
        windows=('32-bit Windows|x86|Norvane-x86-on-32-bit-Windows.reg|/reg:32||C:\windows\system32'
                 '64-bit Windows|x64|Norvane-x86.reg|/reg:32|/reg:32|C:\windows\syswow64')
        side_by_side=() ;;
    x64)
        bin=$release/x64 suffix=-x64 sdk_bin=bin/x64 work=$release/installer-test-x64 product='Norvane (x64)'
        other=x86 other_bin=bin
        windows=('64-bit Windows|x64|Norvane-x64.reg|/reg:64||C:\windows\system32')
        side_by_side=("x86||$release|bin|/reg:32|C:\\windows\\syswow64"
                      "x64|-x64|$release/x64|bin/x64||C:\\windows\\system32") ;;
    *) usage ;;
esac
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$bin/cmake/CMakeCache.txt")
wxs=${1:-$top/installer/Norvane.wxs}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "-- $*"; }

rm -rf "$work"
mkdir -p "$work/old"
# The reader object as a script uses it: Read("EDY") is True (-1, a Boolean) and CardID the card.
cat >"$work/card-reader.vbs" <<'EOF'
Dim reader, good
Set reader = CreateObject("Norvane.CardReader")
good = reader.Read("EDY")
WScript.Echo "Read: " & TypeName(good) & " " & CLng(good)
WScript.Echo "CardID: " & reader.CardID
EOF
for tool in unzip iconv; do
    command -v "$tool" >/dev/null || { echo "installer-test: $tool is missing" >&2; exit 1; }
done

# The packages: the release's own, and one of a lower version whose file differs (bytes past the
# image's end, which the loader ignores) so that replacing it shows.
build_msi() {  # version, folder holding the files, output
    NORVANE_WXS=$wxs "$top/installer/build-msi.sh" "$@" "$arch"
}
msi=$release/Norvane-$version$suffix.msi
if [ $# -gt 0 ]; then
    msi=$work/Norvane-$version$suffix.msi
    build_msi "$version" "$bin" "$msi"
fi
# The files the packages install, in the folder of each.
files=(Norvane.ocx NorvaneCardReader.dll)
for file in "${files[@]}"; do
    cp "$bin/$file" "$work/old/"
    printf 'older build' >>"$work/old/$file"
done
old_msi=$work/Norvane-0.9.0$suffix.msi
build_msi 0.9.0 "$work/old" "$old_msi"
unzip -q "$release/Norvane-$version-sdk.zip" -d "$work"
sdk=$work/Norvane-$version-sdk

source "$top/scripts/wine-session.sh"
reference=$work/prefix-reference
wine_session_start "$reference" "$arch"
prefixes=("$reference")
trap 'for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; wine_session_stop' EXIT

# A further fresh prefix with its own persistent, detached server (see wine-session.sh); the
# session's WINEARCH and PATH (wine_session_env) make its kind.
fresh_prefix() {
    WINEPREFIX=$1 wineboot -i </dev/null >/dev/null 2>&1
    WINEPREFIX=$1 wineserver -k 2>/dev/null || true
    WINEPREFIX=$1 setsid wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX=$1 setsid wineboot </dev/null >/dev/null 2>&1
    prefixes+=("$1")
}

# The host path of a Windows path in the current prefix.
host_path() { WINEPREFIX=$1 winepath -u "$2"; }
# A host path as Windows programs see it, through the drive Z: that every prefix maps to the host's
# root (no Wine program started for it: one more start is one more chance of a busy server).
windows_path() { echo "Z:${1//\//\\}"; }

classes='HKLM\Software\Classes'
# The keys of ours: the control's class, ProgID, type library and two interfaces, then the reader
# object's class, ProgID, type library and interface.
library='TypeLib\{B50F7C64-6888-4FBE-B1D6-EFFBF4899BF2}'
reader_library='TypeLib\{D1043A00-60DD-4584-88AF-FE368477F173}'
keys=("CLSID\\{9989C1FE-0F81-4696-AB1F-1D780126E85B}" "Tavrix.Tavrix" "$library"
      "Interface\\{5DBE1F87-E736-4443-B757-BAB373287FF9}" "Interface\\{1447472F-C7A6-4651-8CDC-43B516B4C6D8}"
      "CLSID\\{8D9D717E-66EE-4D69-B45D-F6F007E97593}" "Norvane.CardReader" "$reader_library"
      "Interface\\{22617430-2050-4DC0-8BB0-B3F68E80B680}")
libraries=("$library" "$reader_library")
progids=("${keys[1]}" "${keys[6]}")

export_key() {  # prefix, key, output [, /reg:32 for the 32-bit view of a win64 prefix]
    # UTF-8 text; one line "absent" when the key is not there.
    local windows='C:\users\Public\export.reg' file
    file=$(host_path "$1" "$windows")
    rm -f "$file"
    if WINEPREFIX=$1 wine reg export "$2" "$windows" /y ${4:+"$4"} >/dev/null 2>&1; then
        iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' >"$3"
    else
        echo absent >"$3"
    fi
    rm -f "$file"
}

# The entries of ours, one export after another. In a win64 prefix /reg:32 reads the 32-bit
# view; a type library's key is one for both views, so there only its win32 entry counts.
registration() {  # prefix, output [, /reg:32]
    local key part=$2.part
    : >"$2"
    for key in "${keys[@]}"; do
        if [ -n "${3:-}" ] && [[ $key == TypeLib\\* ]]; then key=$key\\1.0\\0\\win32; fi
        export_key "$1" "$classes\\$key" "$part" ${3:+"$3"}
        { echo "== $key"; cat "$part"; } >>"$2"
    done
    rm -f "$part"
}

# Everything below HKLM\Software and every file on C: but those Wine moves on its own, and
# the installer service's own empty bookkeeping keys and folder, which Windows keeps as well
# (anything inside them still shows).
bookkeeping='^\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer(\\(Features|Products|UpgradeCodes))?|Microsoft\\Windows\\CurrentVersion\\Installer\\(UpgradeCodes|UserData(\\S-1-5-18(\\(Components|Products))?)?))\]$'
snapshot() {  # prefix, output
    export_key "$1" 'HKLM\Software' "$2.reg"
    re=$bookkeeping awk 'skip && $0 == "" { skip = 0; next } { skip = 0 } $0 ~ ENVIRON["re"] { skip = 1; next } { print }' \
        "$2.reg" >"$2"
    (cd "$1/drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o \
        -path ./windows/Installer -empty -o -print | LC_ALL=C sort) >>"$2"
    rm -f "$2.reg"
}

same() {  # what, expected, actual
    if ! diff -u "$2" "$3" >"$work/diff" 2>&1; then
        fail "$1"
        head -60 "$work/diff" >&2
    fi
}

run_msiexec() {  # prefix, /i or /x, package [, properties]: fails the test when msiexec does
    local prefix=$1 action=$2 name package
    name=$(basename "$3")
    package=$(windows_path "$3")
    shift 3
    WINEPREFIX=$prefix wine msiexec "$action" "$package" "$@" /qn </dev/null >/dev/null 2>&1 ||
        fail "msiexec $action $name $* exited $?"
}

# Copies of the files in a Windows folder of the prefix, made with its parents.
place_files() {  # prefix, Windows folder, folder holding the files
    local folder file
    folder=$(host_path "$1" "$2")
    mkdir -p "$folder"
    for file in "${files[@]}"; do cp "$3/$file" "$folder/"; done
}
# Each file in a Windows folder of the prefix registered (or with /u unregistered) by regsvr32.
regsvr32_files() {  # prefix, Windows folder, regsvr32 program, what [, /u]
    local file
    for file in "${files[@]}"; do
        WINEPREFIX=$1 wine "$3" /s ${5:+"$5"} "$2\\$file" </dev/null >/dev/null 2>&1 ||
            fail "$4: regsvr32 ${5:+$5 }$file exited $?"
    done
}

# Each package's own programs, in a prefix of its own architecture.
system32='C:\windows\system32'
# Exactly one product of ours of this architecture in the installed programs, of that version.
one_product() {  # prefix, version, what
    export_key "$1" 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$work/products.txt"
    [ "$(grep -c "^\"DisplayName\"=\"$product\"$" "$work/products.txt")" = 1 ] ||
        fail "$3: not exactly one \"$product\" installed"
    grep -q "^\"DisplayVersion\"=\"$2\"$" "$work/products.txt" || fail "$3: the installed product is not $2"
}

installed='C:\Program Files\Norvane'
# Whether the installed files are the ones of a folder; fails the test for each that is not.
installed_files() {  # prefix, folder holding the expected files, what
    local file
    for file in "${files[@]}"; do
        cmp -s "$(host_path "$1" "$installed\\$file")" "$2/$file" || fail "$3: $file is not the one expected"
    done
}

# Late bound through the ProgID, as a script would; the reader object likewise, whose read must
# give the card; then a read whose event shows the card, through a host with no control of its
# own beside it, so that only the registration serves it.
# The simulator goes where tavrix-host finds its control looks first, which depends on the
# folders the prefix has: both candidates are cleared after.
use_control() {  # prefix, what, folder of the architecture's programs [, its folder in the SDK]
    local out host_bin=${4:-$sdk_bin}
    WINEPREFIX=$1 wine "$sdk/$host_bin/tavrix-host.exe" simulator install \
        "$(windows_path "$sdk/samples/scenarios/edy-card.txt")" \
        </dev/null >/dev/null 2>&1 || fail "$2: the simulator cannot be installed"
    out=$(WINEPREFIX=$1 wine "$3\cscript.exe" //nologo \
        "$(windows_path "$sdk/samples/vbscript/read-card.vbs")" \
        </dev/null 2>&1 | tr -d '\r') || fail "$2: cscript exited $?"
    [ "$out" = $'Caption: Tavrix\nRead_Card done: the result arrives as On_ReadData' ] ||
        fail "$2: cscript printed: $out"
    out=$(WINEPREFIX=$1 wine "$3\cscript.exe" //nologo "$(windows_path "$work/card-reader.vbs")" \
        </dev/null 2>&1 | tr -d '\r') || fail "$2: cscript of the reader object exited $?"
    [ "$out" = $'Read: Boolean -1\nCardID: 2160012345678901' ] || fail "$2: the reader object's script printed: $out"
    mkdir -p "$work/lone-host"
    cp "$sdk/$host_bin/tavrix-host.exe" "$work/lone-host/"
    out=$(WINEPREFIX=$1 wine "$work/lone-host/tavrix-host.exe" read EDY </dev/null 2>&1 | tr -d '\r') ||
        fail "$2: tavrix-host read exited $?"
    [ "$out" = '{"event":"On_ReadData","card_ID":"2160012345678901","Error":0,"Message":""}' ] ||
        fail "$2: tavrix-host read printed: $out"
    # simulator remove must take away all that install put there: a failure, or any file left in
    # the folders, fails the test and is named before the (empty) folders go. (A host that has
    # just read may still hold the library a moment: remove is tried again a few times.)
    local try status
    for try in 1 2 3; do
        status=0
        out=$(WINEPREFIX=$1 wine "$sdk/$host_bin/tavrix-host.exe" simulator remove </dev/null 2>&1 | tr -d '\r') ||
            status=$?
        [ "$status" != 0 ] || break
        sleep 1
    done
    [ "$status" = 0 ] || fail "$2: simulator remove exited $status: $out"
    local folder left
    for folder in 'C:\Program Files\Common Files\Sony Shared' 'C:\Program Files (x86)\Common Files\Sony Shared'; do
        folder=$(host_path "$1" "$folder")
        [ -d "$folder" ] || continue
        left=$(find "$folder" ! -type d | LC_ALL=C sort)
        [ -z "$left" ] || fail "$2: simulator remove left behind: ${left//$'\n'/, }"
        rm -rf "$folder"
    done
}

step "the SDK holds what integrators need"
(cd "$sdk" && find . -type f | LC_ALL=C sort) >"$work/sdk-files"
cat >"$work/sdk-expected" <<EOF
./Norvane-$version-x64.msi
./Norvane-$version.msi
./README.md
./bin/Norvane.ocx
./bin/NorvaneCardReader.dll
./bin/simulator/felica.dll
./bin/tavrix-host.exe
./bin/tracing/felica.dll
./bin/x64/Norvane.ocx
./bin/x64/NorvaneCardReader.dll
./bin/x64/simulator/felica.dll
./bin/x64/tavrix-host.exe
./bin/x64/tracing/felica.dll
./include/Tavrix.tlb
./include/Tavrix_h.h
./include/Tavrix_i.c
./include/x64/Tavrix.tlb
./installer/Norvane.wxs
./messages.md
./registration-free/x64/Norvane.Tavrix.manifest
./registration-free/x86/Norvane.Tavrix.manifest
./registry/Norvane-x64.reg
./registry/Norvane-x86-on-32-bit-Windows.reg
./registry/Norvane-x86.reg
./samples/cpp/read_card.cpp
./samples/dotnet/ReadCardForm.cs
./samples/hta/read-card.hta
./samples/registration-free/app.exe.manifest
./samples/scenarios/edy-card.txt
./samples/scenarios/no-card.txt
./samples/scenarios/reader-unplugged.txt
./samples/scenarios/session.txt
./samples/vba/UserForm1.txt
./samples/vbscript/read-card.vbs
./samples/wsh/read-card-events.vbs
EOF
same "the SDK's files" "$work/sdk-expected" "$work/sdk-files"
for file in "${files[@]}"; do
    cmp -s "$sdk/$sdk_bin/$file" "$bin/$file" || fail "the SDK's $sdk_bin/$file is not the release's"
done
cmp -s "$sdk/Norvane-$version$suffix.msi" "$release/Norvane-$version$suffix.msi" ||
    fail "the SDK's Norvane-$version$suffix.msi is not the release's"

step "reference: regsvr32 at the installer's path"
place_files "$reference" "$installed" "$bin"
regsvr32_files "$reference" "$installed" regsvr32 reference
registration "$reference" "$work/regsvr32.txt"
[ "$(grep -c 'InprocServer32\]$' "$work/regsvr32.txt")" = "${#files[@]}" ] || fail "regsvr32 did not register each file"
regsvr32_files "$reference" "$installed" regsvr32 reference /u
rm -rf "$(host_path "$reference" "$installed")"

step "msi: a fresh install"
fresh_prefix "$work/prefix-msi"
prefix=$work/prefix-msi
# The script host registers its own type library on its first run: before the snapshot.
echo 'WScript.Quit 0' >"$work/nothing.vbs"
WINEPREFIX=$prefix wine cscript.exe //nologo "$(windows_path "$work/nothing.vbs")" </dev/null >/dev/null 2>&1
snapshot "$prefix" "$work/before.txt"
run_msiexec "$prefix" /i "$msi"
installed_files "$prefix" "$bin" "install"
[ "$(ls "$(host_path "$prefix" "$installed")")" = "$(printf '%s\n' "${files[@]}" | LC_ALL=C sort)" ] ||
    fail "install: other files beside ${files[*]}"
registration "$prefix" "$work/msi.txt"
same "install: the registry entries differ from regsvr32's" "$work/regsvr32.txt" "$work/msi.txt"
use_control "$prefix" "install" "$system32"

step "msi: uninstall"
run_msiexec "$prefix" /x "$msi"
snapshot "$prefix" "$work/after.txt"
same "uninstall: left something behind" "$work/before.txt" "$work/after.txt"

step "msi: an upgrade from $(basename "$old_msi")"
run_msiexec "$prefix" /i "$old_msi"
installed_files "$prefix" "$work/old" "upgrade, the older package installed"
run_msiexec "$prefix" /i "$msi"
installed_files "$prefix" "$bin" "upgrade, not replaced"
registration "$prefix" "$work/upgrade.txt"
same "upgrade: the registry entries differ from regsvr32's" "$work/regsvr32.txt" "$work/upgrade.txt"
one_product "$prefix" "$version" "upgrade"

step "msi: a rebuild of $version installs over $version, not beside it"
rebuilt_msi=$work/rebuilt/Norvane-$version$suffix.msi
mkdir -p "$work/rebuilt"
build_msi "$version" "$bin" "$rebuilt_msi"
run_msiexec "$prefix" /i "$rebuilt_msi"
installed_files "$prefix" "$bin" "rebuild"
one_product "$prefix" "$version" "rebuild"

step "msi: a downgrade to $(basename "$old_msi") is refused"
if WINEPREFIX=$prefix wine msiexec /i "$(windows_path "$old_msi")" /qn </dev/null >/dev/null 2>&1; then
    fail "downgrade: msiexec installed the older package"
fi
installed_files "$prefix" "$bin" "downgrade, replaced"
one_product "$prefix" "$version" "downgrade"

# (REINSTALL rather than /f: Wine's msiexec takes /f with a product code only, and repairs
# nothing with it; the properties are what /f sets on Windows.)
step "msi: a repair puts back the deleted files"
for file in "${files[@]}"; do rm "$(host_path "$prefix" "$installed\\$file")"; done
run_msiexec "$prefix" /i "$rebuilt_msi" REINSTALL=ALL REINSTALLMODE=omus
installed_files "$prefix" "$bin" "repair, not put back"

step "msi: uninstall after the files were deleted by hand"
rm -rf "$(host_path "$prefix" "$installed")"
run_msiexec "$prefix" /x "$msi"
snapshot "$prefix" "$work/after.txt"
same "uninstall without files: left something behind" "$work/before.txt" "$work/after.txt"

step "reference: the installer over a regsvr32 registration of other copies"
place_files "$reference" 'C:\Tools\Norvane' "$bin"
regsvr32_files "$reference" 'C:\Tools\Norvane' regsvr32 "over regsvr32"
run_msiexec "$reference" /i "$msi"
registration "$reference" "$work/over.txt"
same "over regsvr32: the registry entries differ from regsvr32's at the installer's path" \
    "$work/regsvr32.txt" "$work/over.txt"
use_control "$reference" "over regsvr32" "$system32"
run_msiexec "$reference" /x "$msi"

# A registration of the 32-bit control and reader object (their files, and entries their
# DllRegisterServer leaves in the 32-bit view, written here as data: 32-bit code does not run on
# every machine): the x64 package installs beside it, and neither its install nor its uninstall
# touches it. Not among them: the type libraries' names, FLAGS and HELPDIR, one set for both
# views, which the uninstall removes.
if [ "$arch" = x64 ]; then
    step "msi: install and uninstall beside a registration of the x86 control and reader object"
    folder32='C:\Program Files (x86)\Norvane'
    ocx32=$folder32\\Norvane.ocx reader32=$folder32\\NorvaneCardReader.dll
    clsid=${keys[0]#*\\} reader_clsid=${keys[5]#*\\}
    place_files "$prefix" "$folder32" "$release"
    {
        printf 'Windows Registry Editor Version 5.00\n'
        while IFS='|' read -r key name value; do
            printf '\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\%s]\n%s="%s"\n' "$key" "$name" "${value//\\/\\\\}"
        done <<EOF
${keys[0]}|@|Tavrix Control
${keys[0]}\\InprocServer32|@|$ocx32
${keys[0]}\\InprocServer32|"ThreadingModel"|Apartment
${keys[1]}\\Clsid|@|$clsid
$library\\1.0\\0\\win32|@|$ocx32
${keys[3]}\\ProxyStubClsid32|@|{00020424-0000-0000-C000-000000000046}
${keys[4]}\\ProxyStubClsid32|@|{00020420-0000-0000-C000-000000000046}
${keys[5]}|@|Norvane Card Reader
${keys[5]}\\InprocServer32|@|$reader32
${keys[5]}\\InprocServer32|"ThreadingModel"|Apartment
${keys[6]}\\Clsid|@|$reader_clsid
$reader_library\\1.0\\0\\win32|@|$reader32
${keys[8]}\\ProxyStubClsid32|@|{00020424-0000-0000-C000-000000000046}
EOF
    } | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16 >"$(host_path "$prefix" 'C:\users\Public\x86.reg')"
    WINEPREFIX=$prefix wine reg import 'C:\users\Public\x86.reg' /reg:32 </dev/null >/dev/null 2>&1 ||
        fail "the x86 registration cannot be written"
    registration "$prefix" "$work/x86-before.txt" /reg:32
    [ "$(grep -c -E '^(@|"[^"]*")=' "$work/x86-before.txt")" = 13 ] || fail "the x86 registration is not in the 32-bit view"
    run_msiexec "$prefix" /i "$msi"
    # The x86 type libraries' win32 entries show in both views (checked in their own, below).
    registration "$prefix" "$work/beside-x86.txt.all"
    awk '/\\0\\win32\]$/ { skip = 1 } skip { skip = $0 != ""; next } { print }' \
        "$work/beside-x86.txt.all" >"$work/beside-x86.txt"
    same "beside x86: the registry entries differ from regsvr32's" "$work/regsvr32.txt" "$work/beside-x86.txt"
    use_control "$prefix" "beside x86" "$system32"
    registration "$prefix" "$work/x86-installed.txt" /reg:32
    same "beside x86: the install changed the x86 registration" "$work/x86-before.txt" "$work/x86-installed.txt"
    run_msiexec "$prefix" /x "$msi"
    registration "$prefix" "$work/x86-after.txt" /reg:32
    same "beside x86: the uninstall changed the x86 registration" "$work/x86-before.txt" "$work/x86-after.txt"
    for file in "${files[@]}"; do
        cmp -s "$(host_path "$prefix" "$folder32\\$file")" "$release/$file" || fail "beside x86: its $file is gone or changed"
    done
fi

# Both packages on one 64-bit Windows, as on a fleet that runs programs of either kind. The ProgIDs
# and the type libraries' names, FLAGS and HELPDIR are one set for both there: removing either
# package must leave the other's registration as it was when that package was installed alone,
# and the last one out must leave nothing. HELPDIR names the folder of the package installed last
# (as regsvr32 does), so each survivor here was installed last. Wine 8 keeps a ProgID for each
# view where Windows keeps one for both: the copies in the view of the package that went first,
# which on Windows are the ones the last one out removes, are checked and taken out by hand.
if [ ${#side_by_side[@]} -gt 0 ]; then
    norvane_architectures
    prefix=$work/prefix-side-by-side
    fresh_prefix "$prefix"
    declare -A package view programs host_bin
    for row in "${side_by_side[@]}"; do
        IFS='|' read -r name name_suffix ocx_folder host_bin_of view_of programs_of <<<"$row"
        host_bin[$name]=$host_bin_of view[$name]=$view_of programs[$name]=$programs_of
        package[$name]=$release/Norvane-$version$name_suffix.msi
        if [ $# -gt 0 ]; then
            package[$name]=$work/side-by-side/Norvane-$version$name_suffix.msi
            mkdir -p "$work/side-by-side"
            NORVANE_WXS=$wxs "$top/installer/build-msi.sh" "$version" "$ocx_folder" "${package[$name]}" "$name"
        fi
    done
    # The package's registration in its own view, with the type libraries' whole keys.
    own_registration() {  # prefix, architecture, output
        local key
        registration "$1" "$3" ${view[$2]}
        for key in "${libraries[@]}"; do
            export_key "$1" "$classes\\$key" "$3.library"
            { echo "== $key, whole"; cat "$3.library"; } >>"$3"
        done
        rm -f "$3.library"
    }
    for name in "${!package[@]}"; do
        step "side by side: $name alone"
        run_msiexec "$prefix" /i "${package[$name]}"
        own_registration "$prefix" "$name" "$work/sbs-$name-alone.txt"
        [ "$(grep -c 'InprocServer32\]$' "$work/sbs-$name-alone.txt")" = "${#files[@]}" ] ||
            fail "side by side: $name alone did not register each file"
        run_msiexec "$prefix" /x "${package[$name]}"
    done
    # (After each package's own install and uninstall, which leave Wine's empty 32-bit keys of
    # classes and of installed programs as Windows always has them, and after the script host's
    # first run, which registers its type library.)
    WINEPREFIX=$prefix wine cscript.exe //nologo "$(windows_path "$work/nothing.vbs")" </dev/null >/dev/null 2>&1
    snapshot "$prefix" "$work/sbs-before.txt"
    for pair in "x86 x64" "x64 x86"; do
        read -r first second <<<"$pair"
        step "side by side: $second installed after $first, then $first removed"
        run_msiexec "$prefix" /i "${package[$first]}"
        run_msiexec "$prefix" /i "${package[$second]}"
        run_msiexec "$prefix" /x "${package[$first]}"
        own_registration "$prefix" "$second" "$work/sbs-$second-left.txt"
        same "side by side: $second's registration after $first's uninstall differs from $second's alone" \
            "$work/sbs-$second-alone.txt" "$work/sbs-$second-left.txt"
        if [[ " $runnable_architectures " == *" $second "* ]]; then
            use_control "$prefix" "side by side: $second after $first's uninstall" "${programs[$second]}" "${host_bin[$second]}"
        else
            echo "   ($second's control not used: $x86_verdict)"
        fi
        run_msiexec "$prefix" /x "${package[$second]}"
        for progid in "${progids[@]}"; do
            export_key "$prefix" "$classes\\$progid" "$work/sbs-progid.txt" ${view[$first]}
            if [ "$(grep -c -E '^(@|"[^"]*")=' "$work/sbs-progid.txt")" = 2 ]; then
                WINEPREFIX=$prefix wine reg delete "$classes\\$progid" /f ${view[$first]:-/reg:64} </dev/null >/dev/null 2>&1
            fi
        done
        snapshot "$prefix" "$work/sbs-after.txt"
        same "side by side: the last one out ($second) left something behind" "$work/sbs-before.txt" "$work/sbs-after.txt"
    done
fi

# An application that carries the control with nothing registered: the SDK's assembly manifest
# and the files in a folder Norvane.Tavrix beside the program, the sample application manifest
# beside it under the program's name. What the program learns through COM alone must be what
# registration says (the class behind each ProgID, the misc status); a read, its event and an
# activation in place work; the reader object, created by its ProgID, reads the card through a
# control of its own; and nothing of ours is in the registry before or after. With the
# other architecture's assembly in that folder, creating the control fails and the program ends
# cleanly (Windows refuses to start such a program at all: its side-by-side configuration is
# incorrect).
registry_value() {  # registration export, key ending, value name: the value's text
    key=$2 name=$3 awk '
        /^\[/ { here = substr($0, length($0) - length(ENVIRON["key"]) - 1) == "\\" ENVIRON["key"] "]" }
        here && index($0, ENVIRON["name"] "=\"") == 1 { sub(/^[^=]*="/, ""); sub(/"$/, ""); print; exit }' "$1"
}
nothing_of_ours() {  # prefix, what
    registration "$1" "$work/ours.txt"
    if grep -q -E '^(@|"[^"]*")=' "$work/ours.txt"; then fail "$2: the registry holds entries of ours"; fi
}
step "registration-free: the SDK's manifest beside a program, nothing registered"
prefix=$work/prefix-registration-free
fresh_prefix "$prefix"
app=$(host_path "$prefix" 'C:\Kiosk')
mkdir -p "$app/Norvane.Tavrix"
cp "${NORVANE_PROBE_BIN:-$top/build/$(windows_build "$arch")/bin}/registration_free_probe.exe" "$app/"
cp "$sdk/samples/registration-free/app.exe.manifest" "$app/registration_free_probe.exe.manifest"
cp "$sdk/registration-free/$arch/Norvane.Tavrix.manifest" "$app/Norvane.Tavrix/"
for file in "${files[@]}"; do cp "$sdk/$sdk_bin/$file" "$app/Norvane.Tavrix/"; done
WINEPREFIX=$prefix wine "$sdk/$sdk_bin/tavrix-host.exe" simulator install \
    "$(windows_path "$sdk/samples/scenarios/edy-card.txt")" </dev/null >/dev/null 2>&1 ||
    fail "registration-free: the simulator cannot be installed"
nothing_of_ours "$prefix" "registration-free, before"
cat >"$work/registration-free-expected.txt" <<EOF
created by progid $(registry_value "$work/regsvr32.txt" 'Tavrix.Tavrix\Clsid' @)
create by clsid 00000000
misc status $(registry_value "$work/regsvr32.txt" 'MiscStatus\1' @) (00000000)
type library 1.0 00000000
{"event":"OnCreate"}
{"event":"On_ReadData","card_ID":"2160012345678901","Error":0,"Message":""}
read 00000000
in place 00000000, window in the frame
{"event":"OnDestroy"}
reader created by progid 00000000, ICardReader 00000000
reader create by clsid 00000000
reader type library 1.0 00000000
reader read 00000000 True
reader card id 00000000 2160012345678901
EOF
WINEPREFIX=$prefix wine 'C:\Kiosk\registration_free_probe.exe' </dev/null 2>/dev/null | tr -d '\r' \
    >"$work/registration-free.txt" || fail "registration-free: the program exited $?"
same "registration-free: what the program learned" "$work/registration-free-expected.txt" "$work/registration-free.txt"
nothing_of_ours "$prefix" "registration-free, after"

step "registration-free: the $other assembly beside a program of $arch"
cp "$sdk/registration-free/$other/Norvane.Tavrix.manifest" "$app/Norvane.Tavrix/"
for file in "${files[@]}"; do cp "$sdk/$other_bin/$file" "$app/Norvane.Tavrix/"; done
status=0
WINEPREFIX=$prefix wine 'C:\Kiosk\registration_free_probe.exe' </dev/null 2>/dev/null | tr -d '\r' \
    >"$work/registration-free-other.txt" || status=$?
[ "$status" = 1 ] || fail "registration-free with the $other assembly: the program exited $status, not 1"
grep -q '^create by clsid 8' "$work/registration-free-other.txt" ||
    fail "registration-free with the $other assembly: creating the control did not fail"
nothing_of_ours "$prefix" "registration-free with the $other assembly"

# What an integrator's own installer does with the SDK's fragment, on each Windows the
# architecture runs on: the files where the fragment names them, then the fragment imported by reg
# into the architecture's registry view (in a win32 prefix, with one view only, x86 passes the
# flag all the same, as integrators must).
reg_text() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r'; }
file_paths() {  # Windows folder: the path of each file there, one a line
    local file
    for file in "${files[@]}"; do printf '%s\\%s\n' "$1" "$file"; done
}
for row in "${windows[@]}"; do
    IFS='|' read -r kind wine_arch name import_view export_view programs <<<"$row"
    tag=${name%.reg}
    step "fragment: registry/$name imported on $kind"
    fragment=$sdk/registry/$name
    [ "$(head -c 2 "$fragment" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "$name: not UTF-16LE with a byte order mark"
    [ "$(iconv -f UTF-16LE -t UTF-8 "$fragment" | grep -c $'[^\r]$')" = 0 ] || fail "$name: lines that do not end in CRLF"
    # Each class's file where the fragment puts it, in the order of the classes: the control's
    # first, and the others beside it.
    paths=$(reg_text "$fragment" | awk '/^\[/ { inproc = /\\InprocServer32\]$/ } inproc && /^@=/' |
        sed 's/^@="//; s/"$//; s/\\\\/\\/g')
    ocx_at=$(head -1 <<<"$paths") folder=${ocx_at%\\*}
    [ -n "$ocx_at" ] || { fail "$name: no InprocServer32 path"; continue; }
    [ "$paths" = "$(file_paths "$folder")" ] ||
        fail "$name: the classes' files are not ${files[*]} in one folder: ${paths//$'\n'/, }"
    if [ $# -gt 0 ]; then
        fragment=$work/$name
        NORVANE_WXS=$wxs "$top/installer/registry-fragment.sh" "$arch" "$ocx_at" >"$fragment"
    fi
    wine_session_env "$wine_arch"

    # The bar: what this kind's regsvr32 writes for the files at the fragment's paths.
    prefix=$work/prefix-$tag-regsvr32
    fresh_prefix "$prefix"
    place_files "$prefix" "$folder" "$bin"
    regsvr32_files "$prefix" "$folder" "$programs\\regsvr32.exe" "$name"
    registration "$prefix" "$work/$tag-regsvr32.txt" $export_view
    [ "$(grep -c 'InprocServer32\]$' "$work/$tag-regsvr32.txt")" = "${#files[@]}" ] ||
        fail "$name: regsvr32 did not register each file"

    prefix=$work/prefix-$tag
    fresh_prefix "$prefix"
    place_files "$prefix" "$folder" "$bin"
    cp "$fragment" "$(host_path "$prefix" 'C:\users\Public\fragment.reg')"
    WINEPREFIX=$prefix wine reg import 'C:\users\Public\fragment.reg' "$import_view" </dev/null >/dev/null 2>&1 ||
        fail "$name: reg import exited $?"
    registration "$prefix" "$work/$tag.txt" $export_view
    # Expected: regsvr32's registration, but for InprocServer32. The control's regsvr32 writes
    # that one as the short form of a path with a blank (C:\PROG~FBU\...); a .reg cannot know the
    # target machine's short names, so the fragment gives the long path, which names the same file
    # (the scripts below create the objects through it): each class's is expected long, the path
    # of its file (the classes come in the order of the files).
    values=$(file_paths "$folder" | sed 's/\\/\\\\/g; s/^/@="/; s/$/"/') awk '
        BEGIN { count = split(ENVIRON["values"], value, "\n") }
        /^\[/ { inproc = /\\InprocServer32\]$/ }
        inproc && /^@=/ { print value[++inproc_values]; next }
        { print }
        END { exit inproc_values != count }' "$work/$tag-regsvr32.txt" >"$work/$tag-expected.txt" ||
        fail "$name: regsvr32's registration does not hold an InprocServer32 path for each file"
    same "$name: the registry entries differ from regsvr32's" "$work/$tag-expected.txt" "$work/$tag.txt"
    # Every row of the fragment lies among the keys compared: as many values as it has rows.
    [ "$(reg_text "$fragment" | grep -c -E '^(@|"[^"]*")=')" = "$(grep -c -E '^(@|"[^"]*")=' "$work/$tag.txt")" ] ||
        fail "$name: rows outside our keys, or twice"
    use_control "$prefix" "$name" "$programs"
done

if [ "$failures" -gt 0 ]; then
    echo "installer-test: $failures failures" >&2
    exit 1
fi
echo "installer-test: passed"
