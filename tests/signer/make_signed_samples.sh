#!/bin/sh
# Makes the signature checker's samples at test time, in the build tree: a test
# root the test adds to the prefix's Root store, a root nobody trusts, leaves of
# both, and copies of a small program signed, unsigned and altered after signing.
# CATALOGUED stays unsigned as catalogued.exe, listed in test.cat, a catalog
# signed by the trusted leaf.
#   make_signed_samples.sh PROGRAM OBJDUMP OUTDIR CATALOGUED [MORE_PROGRAMS...]
# Each further program (when built) is signed by the same leaf as signed-<name>.
set -eu
program="$1"
objdump="$2"
out="$3"
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
cd "$out"

cat >ca.cnf <<'CNF'
[req]
distinguished_name = name
[name]
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
[any]
commonName = supplied
[leaf]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[stamper]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
CNF

# make_root NAME COMMON_NAME: valid from 2020, as its leaves are. Wine checks an
# embedded signature as of its file's creation time, and a test backdates files.
make_root() {
    : >index.txt
    openssl req -new -config ca.cnf -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
    openssl ca -batch -selfsign -config ca.cnf -extensions root -notext -keyfile "$1.key" -in "$1.csr" \
        -out "$1.pem" -startdate 20200101000000Z -enddate 20450101000000Z 2>/dev/null
}
# make_leaf ROOT LEAF COMMON_NAME START END [EXTENSIONS]: a new leaf of ROOT, a code signer unless told.
make_leaf() {
    : >index.txt
    openssl req -new -config ca.cnf -newkey rsa:2048 -nodes -keyout "$2.key" -out "$2.csr" -subj "/CN=$3" 2>/dev/null
    openssl ca -batch -config ca.cnf -extensions "${6:-leaf}" -notext -cert "$1.pem" -keyfile "$1.key" -in "$2.csr" \
        -out "$2.pem" -startdate "$4" -enddate "$5" 2>/dev/null
}
# sign_program ROOT LEAF COMMON_NAME START END: the program signed by a new leaf of ROOT.
sign_program() {
    make_leaf "$@"
    cat "$2.pem" "$1.pem" >"$2-chain.pem"
    osslsigncode sign -certs "$2-chain.pem" -key "$2.key" -h sha256 -in "$program" -out "$2.exe" >/dev/null
}

echo 01 >serial  # each leaf its own serial: a catalog holds two of one root
make_root trusted-root "Tavrowen Test Root"
make_root stranger-root "Stranger Test Root"
openssl x509 -in trusted-root.pem -outform DER -out trusted-root.der
sign_program trusted-root signed "Veltrix Test Signer" 20200101000000Z 20450101000000Z
sign_program stranger-root stranger "Stranger Test Signer" 20200101000000Z 20450101000000Z
sign_program trusted-root expired "Expired Test Signer" 20200101000000Z 20210101000000Z
cp "$program" unsigned.exe

# One byte of code changed after signing: the 17th byte of .text, inverted.
cp signed.exe altered.exe
offset=$("$objdump" -h altered.exe | awk '$2 == ".text" { print $6 }')
offset=$((0x$offset + 16))
byte=$(od -An -tu1 -j "$offset" -N1 altered.exe | tr -d ' ')
printf "$(printf '\\%03o' $((255 - byte)))" | dd of=altered.exe bs=1 seek="$offset" conv=notrunc 2>/dev/null
cp "$4" catalogued.exe
make_leaf trusted-root stamper "Tavrowen Test Time Stamper" 20200101000000Z 20450101000000Z stamper
sh "$here/make_test_catalog.sh" catalogued.exe signed.pem signed.key stamper.pem stamper.key trusted-root.pem test.cat
shift 4
for extra in "$@"; do
    [ -f "$extra" ] || continue
    osslsigncode sign -certs signed-chain.pem -key signed.key -h sha256 -in "$extra" \
        -out "signed-$(basename "$extra")" >/dev/null
done
rm -f ./*.csr ./*.key index.txt* serial* ./*-chain.pem [0-9][0-9].pem stamper.pem
