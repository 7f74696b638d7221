#!/bin/sh
# Makes the signature checker's samples at test time, in the build tree: a test
# root the test adds to the prefix's Root store, a root nobody trusts, leaves of
# both, and copies of a small program signed, unsigned and altered after signing.
#   make_signed_samples.sh PROGRAM OBJDUMP OUTDIR [MORE_PROGRAMS...]
# Each further program (when built) is signed by the same leaf as signed-<name>.
set -eu
program="$1"
objdump="$2"
out="$3"
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
CNF

# make_root NAME COMMON_NAME
make_root() {
    openssl req -x509 -config ca.cnf -extensions root -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" \
        -subj "/CN=$2" -days 3650 2>/dev/null
}
# sign_program ROOT LEAF COMMON_NAME START END: the program signed by a new leaf of ROOT.
sign_program() {
    : >index.txt
    echo 01 >serial
    openssl req -new -config ca.cnf -newkey rsa:2048 -nodes -keyout "$2.key" -out "$2.csr" -subj "/CN=$3" 2>/dev/null
    openssl ca -batch -config ca.cnf -extensions leaf -notext -cert "$1.pem" -keyfile "$1.key" -in "$2.csr" \
        -out "$2.pem" -startdate "$4" -enddate "$5" 2>/dev/null
    cat "$2.pem" "$1.pem" >"$2-chain.pem"
    osslsigncode sign -certs "$2-chain.pem" -key "$2.key" -h sha256 -in "$program" -out "$2.exe" >/dev/null
}

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
shift 3
for extra in "$@"; do
    [ -f "$extra" ] || continue
    osslsigncode sign -certs signed-chain.pem -key signed.key -h sha256 -in "$extra" \
        -out "signed-$(basename "$extra")" >/dev/null
done
rm -f ./*.csr ./*.key index.txt* serial* ./*-chain.pem 01.pem
