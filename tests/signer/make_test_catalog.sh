#!/bin/sh
# A test catalog: a certificate trust list signed by a leaf of the test root,
# with one member, PROGRAM. The member is listed under the hashes Windows
# takes for it (Authenticode SHA-1 and SHA-256, as osslsigncode computes them)
# and under the SHA-1 of the whole file, which is what Wine 8's
# CryptCATAdminCalcHashFromFileHandle takes instead.
#   make_test_catalog.sh PROGRAM LEAF_PEM LEAF_KEY STAMPER_PEM STAMPER_KEY ROOT_PEM OUT_CAT
set -eu
program="$1"
leaf="$2"
key="$3"
stamper="$4"
stamper_key="$5"
root="$6"
out="$7"

OID_SHA1=06052b0e03021a
OID_SHA256=0609608648016503040201
OID_RSA=06092a864886f70d010101
OID_SIGNED_DATA=06092a864886f70d010702
OID_CONTENT_TYPE=06092a864886f70d010903
OID_MESSAGE_DIGEST=06092a864886f70d010904
OID_SIGNING_TIME=06092a864886f70d010905
OID_COUNTER_SIGNATURE=06092a864886f70d010906
OID_DATA=06092a864886f70d010701
OID_CTL=06092b0601040182370a01
OID_CATALOG_LIST=060a2b0601040182370c0101
OID_CATALOG_MEMBER=060a2b0601040182370c0102
OID_INDIRECT_DATA=060a2b060104018237020104
OID_MEMBER_INFO=060a2b0601040182370c0202
OID_PE_IMAGE_DATA=060a2b06010401823702010f
NULL_PARAMETERS=0500

hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }
write_hex() { perl -e 'print pack("H*", $ARGV[0])' "$1" >"$2"; }
# der TAG HEX: one DER element holding HEX (at most 64 KB).
der() {
    n=$((${#2} / 2))
    if [ "$n" -lt 128 ]; then
        length=$(printf %02x "$n")
    elif [ "$n" -lt 256 ]; then
        length=81$(printf %02x "$n")
    else
        length=82$(printf %04x "$n")
    fi
    printf %s "$1$length$2"
}
ascii() { printf %s "$1" | od -An -v -tx1 | tr -d ' \n'; }
# bmp TEXT: ASCII TEXT as big-endian UTF-16.
bmp() { ascii "$1" | sed 's/../00&/g'; }
# element DER_FILE DEPTH N: the Nth element (from 1) at DEPTH, whole, as hex.
element() {
    place=$(openssl asn1parse -inform DER -in "$1" | sed 's/= */=/g' |
        awk -v depth="d=$2" -v want="$3" '{
            split($1, at, ":")
            if (at[2] == depth && ++seen == want) {
                sub("hl=", "", $2); sub("l=", "", $3); print at[1], $2 + $3; exit
            } }')
    start=${place% *}
    size=${place#* }
    hex_of "$1" | cut -c$((start * 2 + 1))-$(((start + size) * 2))
}
# authenticode_digest SHA: the file's Authenticode digest, as hex: the first
# octet string of the signature a signed copy carries.
authenticode_digest() {
    osslsigncode sign -certs "$leaf" -key "$key" -h "$1" -in "$program" -out "$out.exe" >/dev/null
    osslsigncode extract-signature -in "$out.exe" -out "$out.p7" >/dev/null
    # osslsigncode before 2.6 keeps the 8-byte WIN_CERTIFICATE header.
    [ "$(head -c1 "$out.p7")" = 0 ] || { tail -c +9 "$out.p7" >"$out.der" && mv "$out.der" "$out.p7"; }
    openssl asn1parse -inform DER -in "$out.p7" | awk -F'HEX DUMP]:' '/OCTET STRING/ && /HEX DUMP/ { print $2; exit }'
    rm -f "$out.exe" "$out.p7"
}
# member OID_DIGEST_ALGORITHM DIGEST: a catalog member, tagged by its digest.
member() {
    link=$(der a0 "$(der a2 "$(der 80 "$(bmp '<<<Obsolete>>>')")")")
    image=$(der 30 "$OID_PE_IMAGE_DATA$(der 30 "030100$link")")
    indirect=$(der 30 "$image$(der 30 "$(der 30 "$1$NULL_PARAMETERS")$(der 04 "$2")")")
    info=$(der 30 "$(der 1e "$(bmp '{C689AAB8-8E78-11D0-8C47-00C04FC295EE}')")020101")
    attributes=$(der 30 "$OID_MEMBER_INFO$(der 31 "$info")")$(der 30 "$OID_INDIRECT_DATA$(der 31 "$indirect")")
    der 30 "$(der 04 "$2")$(der 31 "$attributes")"
}

flat_sha1=$(openssl dgst -sha1 -r "$program" | cut -c1-40)
members=$(member "$OID_SHA1" "$flat_sha1")$(member "$OID_SHA1" "$(authenticode_digest sha1)")
members=$members$(member "$OID_SHA256" "$(authenticode_digest sha256)")
list_id=$(printf %s "$program" | openssl dgst -md5 -r | cut -c1-32)
this_update=$(ascii "$(date -u +%y%m%d%H%M%SZ)")
ctl_body=$(der 30 "$OID_CATALOG_LIST")$(der 04 "$list_id")$(der 17 "$this_update")
ctl_body=$ctl_body$(der 30 "$OID_CATALOG_MEMBER$NULL_PARAMETERS")$(der 30 "$members")

# signer_info CERT_DER KEY ATTRIBUTES [UNSIGNED_ATTRIBUTES]: a SignerInfo of
# CERT over the SET of ATTRIBUTES, with SHA-1 and RSA.
signer_info() {
    write_hex "$(der 31 "$3")" "$out.attributes"
    openssl dgst -sha1 -sign "$2" -out "$out.signature" "$out.attributes"
    signature=$(hex_of "$out.signature")
    rm -f "$out.attributes" "$out.signature"
    unsigned=
    [ -z "${4:-}" ] || unsigned=$(der a1 "$4")
    der 30 "020101$(der 30 "$(element "$1" 2 4)$(element "$1" 2 2)")$(der 30 "$OID_SHA1$NULL_PARAMETERS")$(der a0 "$3")$(der 30 "$OID_RSA$NULL_PARAMETERS")$(der 04 "$signature")$unsigned"
}
# signature_value SIGNER_INFO: its signature's bytes, as hex.
signature_value() {
    write_hex "$1" "$out.signer"
    openssl asn1parse -inform DER -in "$out.signer" | awk -F'HEX DUMP]:' '/HEX DUMP/ { value = $2 } END { print value }'
    rm -f "$out.signer"
}

# Signed as Authenticode signs: the digest covers the content's value only.
# SHA-1, as catalogs of the Windows 7 era are: Wine 8 opens catalogs with the
# base provider, which has no SHA-256, and then cannot read the catalog at all.
openssl x509 -in "$leaf" -outform DER -out "$out.leaf"
openssl x509 -in "$stamper" -outform DER -out "$out.stamper"
openssl x509 -in "$root" -outform DER -out "$out.root"
write_hex "$ctl_body" "$out.body"
content_digest=$(openssl dgst -sha1 -r "$out.body" | cut -c1-40)
attributes=$(der 30 "$OID_CONTENT_TYPE$(der 31 "$OID_CTL")")
attributes=$attributes$(der 30 "$OID_MESSAGE_DIGEST$(der 31 "$(der 04 "$content_digest")")")
signer=$(signer_info "$out.leaf" "$key" "$attributes")

# Time-stamped, as release catalogs are: a counter-signature over the
# signature, dated now. Wine 8 checks a catalog's chain as of its time stamp
# only; without one it checks it as of 1601.
write_hex "$(signature_value "$signer")" "$out.signed-digest"
stamp=$(der 30 "$OID_CONTENT_TYPE$(der 31 "$OID_DATA")")
stamp=$stamp$(der 30 "$OID_SIGNING_TIME$(der 31 "$(der 17 "$(ascii "$(date -u +%y%m%d%H%M%SZ)")")")")
stamp=$stamp$(der 30 "$OID_MESSAGE_DIGEST$(der 31 "$(der 04 "$(openssl dgst -sha1 -r "$out.signed-digest" | cut -c1-40)")")")
counter=$(der 30 "$OID_COUNTER_SIGNATURE$(der 31 "$(signer_info "$out.stamper" "$stamper_key" "$stamp")")")
signer=$(signer_info "$out.leaf" "$key" "$attributes" "$counter")

signed=020101$(der 31 "$(der 30 "$OID_SHA1$NULL_PARAMETERS")")
signed=$signed$(der 30 "$OID_CTL$(der a0 "$(der 30 "$ctl_body")")")
signed=$signed$(der a0 "$(hex_of "$out.leaf")$(hex_of "$out.stamper")$(hex_of "$out.root")")$(der 31 "$signer")
write_hex "$(der 30 "$OID_SIGNED_DATA$(der a0 "$(der 30 "$signed")")")" "$out"
rm -f "$out.body" "$out.signed-digest" "$out.leaf" "$out.stamper" "$out.root"
