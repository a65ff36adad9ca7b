# Sourced by release.sh: Authenticode signatures for what we ship.
#   signing_credentials RELEASE TIME
#                                 checks the signer named by the environment, or makes a test
#                                 authority in RELEASE/test-signing; stops the release when the
#                                 signer is unusable, before anything is built or written. TIME
#                                 (seconds since 1970) is the signing time without a timestamp server
#   sign_file FILE                signs FILE in place (through FILE.partial) and verifies it
# The integrator's signer, from the environment:
#   NORVANE_SIGN_PKCS12 and NORVANE_SIGN_PASSWORD_FILE      a PKCS#12 file and its password's file
#   NORVANE_SIGN_CERT and NORVANE_SIGN_KEY                  PEM certificate (chain) and key; a key
#                                                           with a password takes NORVANE_SIGN_PASSWORD_FILE
#   NORVANE_SIGN_TIMESTAMP_URL (optional)                   a timestamp server
# Without a timestamp server every signature carries the time given, the commit's, so that the
# same bytes signed by the same signer give the same signed file.

signing_fail() { echo "release: signing: $*; nothing was built or changed" >&2; exit 1; }

signing_credentials() {  # release folder, signing time
    local release=$1 public_of_cert public_of_key
    signing_args=()
    signing_test_authority=
    if [ -n "${NORVANE_SIGN_PKCS12:-}" ]; then
        [ -f "$NORVANE_SIGN_PKCS12" ] || signing_fail "NORVANE_SIGN_PKCS12: no file $NORVANE_SIGN_PKCS12"
        [ -f "${NORVANE_SIGN_PASSWORD_FILE:-}" ] ||
            signing_fail "NORVANE_SIGN_PASSWORD_FILE: a PKCS#12 file needs the file of its password"
        signing_cert=$(openssl pkcs12 -in "$NORVANE_SIGN_PKCS12" -passin "file:$NORVANE_SIGN_PASSWORD_FILE" \
            -nokeys -clcerts 2>/dev/null) ||
            signing_fail "$NORVANE_SIGN_PKCS12: the password is wrong, or it is no PKCS#12 file"
        public_of_key=$(openssl pkcs12 -in "$NORVANE_SIGN_PKCS12" -passin "file:$NORVANE_SIGN_PASSWORD_FILE" \
            -nocerts -nodes 2>/dev/null | openssl pkey -pubout 2>/dev/null) ||
            signing_fail "$NORVANE_SIGN_PKCS12: holds no private key"
        signing_args=(-pkcs12 "$NORVANE_SIGN_PKCS12" -readpass "$NORVANE_SIGN_PASSWORD_FILE")
    elif [ -n "${NORVANE_SIGN_CERT:-}${NORVANE_SIGN_KEY:-}" ]; then
        [ -f "${NORVANE_SIGN_CERT:-}" ] || signing_fail "NORVANE_SIGN_CERT: no certificate file ${NORVANE_SIGN_CERT:-}"
        [ -f "${NORVANE_SIGN_KEY:-}" ] || signing_fail "NORVANE_SIGN_KEY: no key file ${NORVANE_SIGN_KEY:-}"
        signing_cert=$(openssl x509 -in "$NORVANE_SIGN_CERT" 2>/dev/null) ||
            signing_fail "$NORVANE_SIGN_CERT: no PEM certificate"
        local pass=()
        [ -n "${NORVANE_SIGN_PASSWORD_FILE:-}" ] && pass=(-passin "file:$NORVANE_SIGN_PASSWORD_FILE")
        public_of_key=$(openssl pkey -in "$NORVANE_SIGN_KEY" "${pass[@]}" -pubout 2>/dev/null) ||
            signing_fail "$NORVANE_SIGN_KEY: no PEM key, or its password is wrong"
        signing_args=(-certs "$NORVANE_SIGN_CERT" -key "$NORVANE_SIGN_KEY")
        [ -n "${NORVANE_SIGN_PASSWORD_FILE:-}" ] && signing_args+=(-readpass "$NORVANE_SIGN_PASSWORD_FILE")
    else
        signing_test_authority=$release/test-signing
        signing_make_test_authority "$signing_test_authority"
        signing_cert=$(cat "$signing_test_authority/signer.pem")
        public_of_key=$(openssl pkey -in "$signing_test_authority/signer.key" -pubout)
        signing_args=(-certs "$signing_test_authority/signer.pem" -key "$signing_test_authority/signer.key")
    fi
    public_of_cert=$(openssl x509 -noout -pubkey <<<"$signing_cert")
    [ "$public_of_cert" = "$public_of_key" ] || signing_fail "the key does not belong to the certificate"
    openssl x509 -noout -checkend 0 <<<"$signing_cert" >/dev/null ||
        signing_fail "the certificate has expired ($(openssl x509 -noout -enddate <<<"$signing_cert"))"
    if [ -n "${NORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
        signing_args+=(-ts "$NORVANE_SIGN_TIMESTAMP_URL")
    else
        signing_args+=(-st "$2")
    fi
    if [ -n "$signing_test_authority" ]; then
        echo "release: ****************************************************************************" >&2
        echo "release: TEST-SIGNED: no signer was named (NORVANE_SIGN_PKCS12 or NORVANE_SIGN_CERT)," >&2
        echo "release: so every file is signed by a throwaway authority that no Windows trusts:" >&2
        echo "release: $signing_test_authority/ca.pem. Do not ship this release." >&2
        echo "release: ****************************************************************************" >&2
    else
        echo "release: signing as $(openssl x509 -noout -subject <<<"$signing_cert")"
    fi
}

# A test authority and a code-signing certificate it issued, made once per build tree.
signing_make_test_authority() {  # folder
    [ -f "$1/signer.pem" ] && return
    rm -rf "$1" "$1.partial"
    mkdir -p "$1.partial"
    (
        cd "$1.partial"
        openssl req -x509 -newkey rsa:3072 -nodes -keyout ca.key -out ca.pem -days 3650 \
            -subj "/CN=Norvane Test Signing Authority (not trusted)" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        openssl req -newkey rsa:3072 -nodes -keyout signer.key -out signer.csr -subj "/CN=Norvane (test-signed)" 2>/dev/null
        printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 1 -days 3650 -extfile signer.ext \
            -out signer.pem 2>/dev/null
        rm signer.csr signer.ext
    )
    mv "$1.partial" "$1"
}

# (An integrator's authority is theirs to check: the machine here need not trust it.)
sign_file() {  # file
    rm -f "$1.partial"
    osslsigncode sign "${signing_args[@]}" -h sha256 -n Norvane -in "$1" -out "$1.partial" >/dev/null
    if [ -n "$signing_test_authority" ] &&
        ! osslsigncode verify -CAfile "$signing_test_authority/ca.pem" -in "$1.partial" >/dev/null 2>&1; then
        rm -f "$1.partial"
        echo "release: signing: the signature of $1 does not verify" >&2
        exit 1
    fi
    mv "$1.partial" "$1"
}
