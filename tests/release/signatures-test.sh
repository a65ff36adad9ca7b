#!/usr/bin/env bash
# The release's signatures, for both architectures (nothing here runs Windows code):
#   - every executable file we ship (both OCXs and both reader objects, in the release and in the
#     SDK, and from the SDK both tavrix-host programs, both simulator libraries and both tracing
#     libraries) and both packages verify against the test authority;
#   - each executable file with its signature removed is the unsigned file, but for the image
#     checksum that signing sets and the zero bytes it pads the image with up to 8 bytes;
#   - signing again gives the same bytes;
#   - each package carries the signed Norvane.ocx and NorvaneCardReader.dll;
#   - a signer that cannot sign stops the release before it writes anything, and says why;
#   - every program in the SDK carries an application manifest that asks for the invoker's rights,
#     so that Windows never runs it as a legacy program whose refused writes are silently redirected.
# Needs scripts/release.sh to have run without a signer of the integrator's (test-signed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/failed-step.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
release=$top/build/release
authority=$release/test-signing
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0 checked=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
[ -f "$authority/ca.pem" ] || { echo "signatures-test: no test authority in $authority: run scripts/release.sh" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/cmake/CMakeCache.txt")
unzip -q "$release/Norvane-$version-sdk.zip" -d "$work"
sdk=$work/Norvane-$version-sdk

verified() { osslsigncode verify -CAfile "$authority/ca.pem" -in "$1" >/dev/null 2>&1; }

# The file with its image checksum (at 0x58 in the optional header) set to zero.
without_checksum() {  # file, output
    local at
    at=$(( $(od -An -tu4 -j 60 -N 4 "$1") + 24 + 64 ))
    cp "$1" "$2"
    printf '\0\0\0\0' | dd of="$2" bs=1 seek="$at" conv=notrunc status=none
}

# signed file | the unsigned file it was made from
pairs=(
    "$release/Norvane.ocx|$release/unsigned/Norvane.ocx"
    "$release/x64/Norvane.ocx|$release/x64/unsigned/Norvane.ocx"
    "$release/NorvaneCardReader.dll|$release/unsigned/NorvaneCardReader.dll"
    "$release/x64/NorvaneCardReader.dll|$release/x64/unsigned/NorvaneCardReader.dll"
    "$sdk/bin/NorvaneCardReader.dll|$release/unsigned/NorvaneCardReader.dll"
    "$sdk/bin/x64/NorvaneCardReader.dll|$release/x64/unsigned/NorvaneCardReader.dll"
    "$sdk/bin/tavrix-host.exe|$release/unsigned/tavrix-host.exe"
    "$sdk/bin/x64/tavrix-host.exe|$release/x64/unsigned/tavrix-host.exe"
    "$sdk/bin/simulator/felica.dll|$release/unsigned/felica.dll"
    "$sdk/bin/x64/simulator/felica.dll|$release/x64/unsigned/felica.dll"
    "$sdk/bin/tracing/felica.dll|$release/unsigned/tracing/felica.dll"
    "$sdk/bin/x64/tracing/felica.dll|$release/x64/unsigned/tracing/felica.dll"
)
for pair in "${pairs[@]}"; do
    signed=${pair%|*} unsigned=${pair#*|}
    name=${signed#"$work/"}
    checked=$((checked + 1))
    verified "$signed" || { fail "$name: no signature that verifies against the test authority"; continue; }
    osslsigncode remove-signature -in "$signed" -out "$work/removed" >/dev/null
    without_checksum "$work/removed" "$work/removed.0"
    without_checksum "$unsigned" "$work/unsigned.0"
    size=$(stat -c %s "$work/unsigned.0")
    padding=$(( $(stat -c %s "$work/removed.0") - size ))
    if [ "$padding" -lt 0 ] || [ "$padding" -ge 8 ] ||
        ! cmp -s -n "$size" "$work/removed.0" "$work/unsigned.0" ||
        [ -n "$(tail -c "$padding" "$work/removed.0" | tr -d '\0')" ]; then
        fail "$name: without its signature it is not the unsigned file"
    fi
    rm -f "$work/removed" "$work/removed.0" "$work/unsigned.0"
done

while read -r program; do
    checked=$((checked + 1))
    manifest=$( (x86_64-w64-mingw32-windres -i "$program" -O rc 2>/dev/null || true) | sed -n '/^1 24 /,/^END/p')
    grep -qF 'requestedExecutionLevel level=""asInvoker""' <<<"$manifest" && grep -qF 'supportedOS' <<<"$manifest" ||
        fail "${program#"$work/"}: no application manifest asking for the invoker's rights"
done < <(find "$sdk" -iname '*.exe')

# Signing is reproducible: the same bytes, signer and time give the same signed file.
checked=$((checked + 1))
osslsigncode sign -certs "$authority/signer.pem" -key "$authority/signer.key" -h sha256 -n Norvane \
    -st "$(git -C "$top" log -1 --format=%ct)" -in "$release/unsigned/Norvane.ocx" -out "$work/again.ocx" >/dev/null
cmp -s "$work/again.ocx" "$release/Norvane.ocx" || fail "Norvane.ocx signed again differs from the release's"

for package in "$release/Norvane-$version.msi|$release" "$release/Norvane-$version-x64.msi|$release/x64"; do
    msi=${package%|*} shipped=${package#*|}
    checked=$((checked + 1))
    verified "$msi" || fail "$(basename "$msi"): no signature that verifies against the test authority"
    rm -rf "$work/extracted"
    msiextract -C "$work/extracted" "$msi" >/dev/null
    for file in Norvane.ocx NorvaneCardReader.dll; do
        inside=$(find "$work/extracted" -name "$file")
        cmp -s "$inside" "$shipped/$file" || fail "$(basename "$msi"): does not carry the signed $file"
    done
done

# A signer that cannot sign: the release stops at once, says why, and leaves build/release as it was.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/other.key" -out "$work/other.pem" -days 30 \
    -subj "/CN=Another" 2>/dev/null
openssl pkcs12 -export -in "$authority/signer.pem" -inkey "$authority/signer.key" -out "$work/signer.p12" \
    -passout pass:right 2>/dev/null
echo right >"$work/right"
echo wrong >"$work/wrong"
mkdir -p "$work/expired/new"
touch "$work/expired/index.txt"
printf '[ca]\ndefault_ca = d\n[d]\ndatabase = %s\nnew_certs_dir = %s\nserial = %s\ndefault_md = sha256\npolicy = p\n[p]\ncommonName = supplied\n' \
    "$work/expired/index.txt" "$work/expired/new" "$work/expired/serial" >"$work/expired/ca.cnf"
echo 01 >"$work/expired/serial"
openssl req -new -key "$authority/signer.key" -subj "/CN=Expired" -out "$work/expired/signer.csr" 2>/dev/null
openssl ca -batch -config "$work/expired/ca.cnf" -cert "$authority/ca.pem" -keyfile "$authority/ca.key" \
    -in "$work/expired/signer.csr" -out "$work/expired.pem" -startdate 20200101000000Z -enddate 20200201000000Z \
    >/dev/null 2>&1

state() { (cd "$release" && find . -path ./installer-test -prune -o -path ./installer-test-x64 -prune -o -printf '%p %s %T@\n' | LC_ALL=C sort); }
state >"$work/before"
while IFS='|' read -r what said variables; do
    checked=$((checked + 1))
    status=0
    out=$(env -i PATH="$PATH" HOME="${HOME:-/root}" $variables "$top/scripts/release.sh" 2>&1) || status=$?
    [ "$status" != 0 ] || fail "$what: the release went on"
    grep -qF -- "$said" <<<"$out" || fail "$what: the release did not say \"$said\": $out"
done <<EOF
a wrong password|the password is wrong|NORVANE_SIGN_PKCS12=$work/signer.p12 NORVANE_SIGN_PASSWORD_FILE=$work/wrong
no password file|needs the file of its password|NORVANE_SIGN_PKCS12=$work/signer.p12
a missing certificate|no certificate file|NORVANE_SIGN_CERT=$work/absent.pem NORVANE_SIGN_KEY=$authority/signer.key
an expired certificate|the certificate has expired|NORVANE_SIGN_CERT=$work/expired.pem NORVANE_SIGN_KEY=$authority/signer.key
a key of another certificate|the key does not belong to the certificate|NORVANE_SIGN_CERT=$authority/signer.pem NORVANE_SIGN_KEY=$work/other.key
EOF
state >"$work/after"
cmp -s "$work/before" "$work/after" || { fail "a refused signer changed build/release:"; diff "$work/before" "$work/after" | head -20 >&2; }
# The right password signs, as a check that the refusals above are the signer's.
osslsigncode sign -pkcs12 "$work/signer.p12" -readpass "$work/right" -in "$release/unsigned/felica.dll" \
    -out "$work/signed.dll" >/dev/null && verified "$work/signed.dll" || fail "the PKCS#12 file made here does not sign"

if [ "$failures" -gt 0 ]; then
    echo "signatures-test: $failures failures" >&2
    exit 1
fi
echo "signatures-test: $checked passed, 0 failed"
