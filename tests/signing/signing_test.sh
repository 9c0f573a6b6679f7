#!/bin/bash
# Signed builds and the release bundle, with a throwaway CA made here:
# signing is byte-reproducible in both forms (PKCS#12 and certificate with an
# encrypted key), no password reaches the build files or command lines, the
# signature verifies with the CA only, comes off and goes back on byte for
# byte, and breaks when a byte of the code or the resources changes. The
# bundle holds what it should, its checksums hold, and it builds the same
# twice. Needs no Wine: signing_wine_test.sh then checks the signed files
# this leaves in WORK_DIR with Windows' own calls.
#
#   signing_test.sh SOURCE_DIR WORK_DIR [LAYOUT_DIR]
#
# With LAYOUT_DIR (the build's windows-tests/signing), the files Windows'
# own check reads there are copied into it once they all passed here:
# signed.exe, unsigned.exe, tampered.text.exe and tampered.rsrc.exe
# (trust_check --expect).
#
# Exits 77 (skipped) when osslsigncode is not installed.
set -uo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ] || [ ! -f "$1/CMakeLists.txt" ]; then
    echo "usage: signing_test.sh SOURCE_DIR WORK_DIR [LAYOUT_DIR]" >&2
    exit 2
fi
SOURCE="$(cd "$1" && pwd)"
LAYOUT="${3:-}"
[ -z "$LAYOUT" ] || rm -rf "$LAYOUT"
if ! command -v osslsigncode >/dev/null 2>&1; then
    echo "skipped: osslsigncode is not installed (Debian package osslsigncode; scripts/install-deps.sh installs it)"
    exit 77
fi
for tool in openssl /usr/bin/python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "expected the tool $tool, got none (scripts/install-deps.sh installs it)" >&2
        exit 2
    fi
done
# Kept for signing_wine_test.sh; made afresh on every run.
WORK="$2"
rm -rf "$WORK"
mkdir -p "$WORK"
WORK="$(cd "$WORK" && pwd)"
echo "$(osslsigncode --version 2>&1 | head -1 | sed 's/,.*//'), work folder $WORK"

failures=0
fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}
# same FILE_A FILE_B WHAT: the two files must be identical.
same() {
    if ! cmp -s "$1" "$2"; then
        fail "$3: expected identical files, got a difference ($(cmp "$1" "$2" 2>&1 | head -1))"
        return 1
    fi
    echo "ok: $3"
}

# A throwaway CA and a code-signing leaf (RSA: ECDSA signatures differ on
# every run, and Wine cannot check them).
KEYS="$WORK/keys"
mkdir -p "$KEYS"
PASSWORD="pw-$RANDOM$RANDOM-not-for-any-file"
printf '%s\n' "$PASSWORD" >"$KEYS/password.txt"
make_keys() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Tavrel Test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
        -keyout "$KEYS/ca.key" -out "$KEYS/ca.crt" &&
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Tavrel Test Vendor" \
        -keyout "$KEYS/leaf.key" -out "$KEYS/leaf.csr" &&
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$KEYS/leaf.ext" &&
    openssl x509 -req -in "$KEYS/leaf.csr" -CA "$KEYS/ca.crt" -CAkey "$KEYS/ca.key" -CAcreateserial \
        -days 30 -extfile "$KEYS/leaf.ext" -out "$KEYS/leaf.crt" &&
    openssl pkcs12 -export -in "$KEYS/leaf.crt" -inkey "$KEYS/leaf.key" -certfile "$KEYS/ca.crt" \
        -passout "file:$KEYS/password.txt" -out "$KEYS/vendor.pfx" &&
    openssl pkey -in "$KEYS/leaf.key" -aes256 -passout "file:$KEYS/password.txt" \
        -out "$KEYS/leaf-encrypted.key" &&
    cat "$KEYS/leaf.crt" "$KEYS/ca.crt" >"$KEYS/chain.crt"
}
if ! make_keys >"$KEYS/openssl.log" 2>&1; then
    cat "$KEYS/openssl.log"
    echo "openssl: expected a CA and a code-signing certificate, got a failure (log above)"
    exit 1
fi

# build DIR CMAKE_OPTION...: configures DIR from the source and builds the
# bundle (and so Tavrel.exe and, when configured, its signed copy), with the
# command lines in DIR.log.
build() {
    local dir="$1"
    shift
    mkdir -p "$(dirname "$dir")"
    if ! cmake -S "$SOURCE" -B "$dir" -DBUILD_TESTING=OFF "$@" >"$dir.log" 2>&1 ||
       ! cmake --build "$dir" --target bundle -- VERBOSE=1 >>"$dir.log" 2>&1; then
        cat "$dir.log"
        echo "build in $dir: expected success, got a failure (log above)"
        return 1
    fi
}
PFX_OPTIONS=(-DTAVREL_SIGN_PKCS12="$KEYS/vendor.pfx" -DTAVREL_SIGN_PASSFILE="$KEYS/password.txt"
             -DTAVREL_SIGN_URL=https://vendor.invalid/tavrel)
A="$WORK/a" B="$WORK/bb/b" C="$WORK/c"
build "$A" "${PFX_OPTIONS[@]}" || exit 1
build "$B" "${PFX_OPTIONS[@]}" || exit 1
# A reviewer's build: the default options, no certificate.
build "$C" || exit 1
cp "$B/release/Tavrel.zip" "$WORK/bundle-b.zip"

echo "--- signing is reproducible and keeps passwords out of the build"
same "$A/signed/Tavrel.exe" "$B/signed/Tavrel.exe" "signed twice from the .pfx: identical signed files"
# The same leaf and chain as a certificate file and an encrypted key.
if build "$B" -DTAVREL_SIGN_PKCS12= -DTAVREL_SIGN_CERT="$KEYS/chain.crt" \
         -DTAVREL_SIGN_KEY="$KEYS/leaf-encrypted.key"; then
    same "$A/signed/Tavrel.exe" "$B/signed/Tavrel.exe" \
         "signed with certificate and encrypted key: identical to the .pfx signing"
else
    fail "signing with a certificate and an encrypted key: expected success, got a failure"
fi
same "$A/Tavrel.exe" "$C/Tavrel.exe" "build/Tavrel.exe of a signing build: the unsigned image of the default build"
if leaks=$(grep -rlF -- "$PASSWORD" "$A" "$A.log" "$B" "$B.log"); then
    fail "password: expected it in no build file, cache or command line, got it in: $leaks"
elif ! grep -q -- "-DPASSFILE=$KEYS/password.txt" "$A.log"; then
    fail "build log: expected the signing command line with the password file, got none in $A.log"
else
    echo "ok: the password is in no build file, cache entry or command line"
fi
if grep -qi osslsigncode "$C/CMakeCache.txt" || [ -e "$C/signed" ]; then
    fail "default build: expected no search for osslsigncode and no signed/ folder, got one"
else
    echo "ok: the default build neither looks for osslsigncode nor signs"
fi

echo "--- verification, removal and reattachment"
SIGNED="$A/signed/Tavrel.exe"
if osslsigncode verify -CAfile "$KEYS/ca.crt" -in "$SIGNED" >"$WORK/verify.txt" 2>&1; then
    echo "ok: osslsigncode verify with the CA"
    for expected in "Text description: Tavrel" "URL description: https://vendor.invalid/tavrel" \
                    "Message digest algorithm  : SHA256"; do
        grep -qF "$expected" "$WORK/verify.txt" ||
            fail "signature: expected '$expected' in the verify output, got: $(grep -i -E 'description|algorithm' "$WORK/verify.txt")"
    done
else
    fail "osslsigncode verify with the CA: expected success, got: $(tail -5 "$WORK/verify.txt")"
fi
if osslsigncode verify -in "$SIGNED" >/dev/null 2>&1; then
    fail "osslsigncode verify without the test CA: expected a failure, got success"
else
    echo "ok: osslsigncode verify without the CA fails"
fi
osslsigncode remove-signature -in "$SIGNED" -out "$WORK/removed.exe" >/dev/null 2>&1
same "$WORK/removed.exe" "$A/Tavrel.exe" "remove-signature gives back the unsigned build"
osslsigncode attach-signature -sigin "$A/signed/Tavrel.exe.sig" -CAfile "$KEYS/ca.crt" \
    -in "$C/Tavrel.exe" -out "$WORK/attached.exe" >/dev/null 2>&1
same "$WORK/attached.exe" "$SIGNED" "the detached signature on a fresh unsigned build gives the signed file"

echo "--- a changed byte breaks the signature"
# flip FILE SECTION OUTPUT: OUTPUT is FILE with the middle byte of SECTION's
# raw data inverted.
flip() {
    /usr/bin/python3 - "$@" <<'PYTHON'
import sys, pefile
path, section_name, output = sys.argv[1:]
data = bytearray(open(path, "rb").read())
pe = pefile.PE(data=bytes(data))
section = next(s for s in pe.sections if s.Name.rstrip(b"\0").decode() == section_name)
offset = section.PointerToRawData + section.SizeOfRawData // 2
data[offset] ^= 0xFF
open(output, "wb").write(data)
PYTHON
}
for section in .text .rsrc; do
    if ! flip "$SIGNED" "$section" "$WORK/tampered$section.exe"; then
        fail "$section: expected a byte to flip, got a failure"
    elif osslsigncode verify -CAfile "$KEYS/ca.crt" -in "$WORK/tampered$section.exe" >/dev/null 2>&1; then
        fail "a byte changed in $section: expected osslsigncode verify to fail, got success"
    else
        echo "ok: a byte changed in $section fails osslsigncode verify"
    fi
done

echo "--- the bundle"
# check_bundle NAME ZIP EXPECTED_EXE [SIGNATURE]: the entries, the checksums
# and the files they come from.
check_bundle() {
    local name="$1" zip="$2" exe="$3" signature="${4:-}" folder
    folder="$(mktemp -d "$WORK/unzipped.XXXXXX")"
    local expected="BUILD-INFO.txt SHA256SUMS Tavrel.exe${signature:+ Tavrel.exe.sig} demo.inf tavrel-demo.txt vendor-guide.txt"
    local entries
    entries=$(/usr/bin/python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    if [ "$entries" != "$expected" ]; then
        fail "$name: expected the entries '$expected', got '$entries'"
        return
    fi
    /usr/bin/python3 -m zipfile -e "$zip" "$folder"
    local summed
    summed=$(cut -c67- "$folder/SHA256SUMS" | tr '\n' ' ')
    if [ "$summed" != "${expected/SHA256SUMS /} " ]; then
        fail "$name: expected SHA256SUMS to list every other entry, got '$summed'"
    elif ! (cd "$folder" && sha256sum --quiet -c SHA256SUMS); then
        fail "$name: expected its SHA256SUMS to hold, got a mismatch"
    fi
    same "$folder/Tavrel.exe" "$exe" "$name: Tavrel.exe"
    same "$folder/demo.inf" "$SOURCE/demo/demo.inf" "$name: demo.inf"
    same "$folder/tavrel-demo.txt" "$SOURCE/demo/tavrel-demo.txt" "$name: tavrel-demo.txt"
    same "$folder/vendor-guide.txt" "$SOURCE/docs/vendor-guide.txt" "$name: vendor-guide.txt"
    if [ -n "$signature" ]; then
        same "$folder/Tavrel.exe.sig" "$signature" "$name: Tavrel.exe.sig"
        local unsigned_sum
        unsigned_sum=$(sha256sum "$C/Tavrel.exe" | cut -d' ' -f1)
        grep -q "^Tavrel.exe is signed with osslsigncode [0-9]" "$folder/BUILD-INFO.txt" ||
            fail "$name: expected BUILD-INFO.txt to name the osslsigncode version, got: $(cat "$folder/BUILD-INFO.txt")"
        grep -q "SHA-256 $unsigned_sum" "$folder/BUILD-INFO.txt" ||
            fail "$name: expected BUILD-INFO.txt to give the unsigned image's SHA-256 $unsigned_sum, got: $(cat "$folder/BUILD-INFO.txt")"
    else
        grep -q "^Tavrel.exe is not signed" "$folder/BUILD-INFO.txt" ||
            fail "$name: expected BUILD-INFO.txt to say Tavrel.exe is not signed, got: $(cat "$folder/BUILD-INFO.txt")"
    fi
    grep -q "GCC" "$folder/BUILD-INFO.txt" ||
        fail "$name: expected BUILD-INFO.txt to name the compiler, got: $(cat "$folder/BUILD-INFO.txt")"
}
check_bundle "signed bundle" "$A/release/Tavrel.zip" "$SIGNED" "$A/signed/Tavrel.exe.sig"
check_bundle "unsigned bundle" "$C/release/Tavrel.zip" "$C/Tavrel.exe"
same "$A/release/Tavrel.zip" "$WORK/bundle-b.zip" "the signed bundle built twice: identical zips"
same "$A/release/Tavrel.zip" "$B/release/Tavrel.zip" "the bundle signed with certificate and key: identical zip"
echo "signed Tavrel.exe: $(stat -c %s "$SIGNED") bytes, unsigned $(stat -c %s "$C/Tavrel.exe") bytes;" \
     "bundle $(stat -c %s "$A/release/Tavrel.zip") bytes signed, $(stat -c %s "$C/release/Tavrel.zip") unsigned"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
if [ -n "$LAYOUT" ]; then
    mkdir -p "$LAYOUT" &&
    cp "$SIGNED" "$LAYOUT/signed.exe" && cp "$C/Tavrel.exe" "$LAYOUT/unsigned.exe" &&
    cp "$WORK/tampered.text.exe" "$WORK/tampered.rsrc.exe" "$LAYOUT/" || exit 1
    echo "the signed, unsigned and tampered files are laid out in $LAYOUT"
fi
echo "all signing and bundle checks passed"
