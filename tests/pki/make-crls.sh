#!/usr/bin/env bash
# make-crls.sh OUTDIR - CRLs of the test PKI in OUTDIR (made by make-pki.sh,
# which calls this while its CA databases exist), by `openssl ca -gencrl`.
# All DER, sha1WithRSA, lastUpdate 2024-07-01 and nextUpdate 2049-12-31
# unless stated; every revocation dated 2024-06-01 12:00:00 UTC.
#   crl.top-bit.der   ca, lists "revoked" (8B7E0F4C, top bit set) and signer (1002)
#   crl.20-byte.der   ca, lists signer2 (20-byte serial)
#   crl.empty.der     ca, no revokedCertificates at all
#   crl.5000.der      ca, 5000 entries with signer (1002) in the middle
#   crl.other-ca.der  otherca, lists 1002 (other's serial, the same as signer's)
#   crl.stale.der     ca, lists signer; lastUpdate 2010-01-01, nextUpdate 2011-01-01
#   crl.big-ca.der    bigca (4096-bit root, bigca.cert.der), lists signer
#   crl.serial-60.der ca, lists a 60-byte serial
#   crl.number-120.der ca, lists signer, CRL number of 120 bytes
#   crl.delta.der     ca, a delta CRL (critical deltaCRLIndicator 1) listing "revoked", not signer
#   crl.idp.der       ca, a critical issuingDistributionPoint, lists "revoked", not signer
#   crl.unknown-critical.der ca, an unknown critical extension, lists "revoked", not signer
#   crl.sha256.der    ca, sha256WithRSA, lists signer
#   crl.100k.der      ca, 100000 entries, signer (1002) among them (openssl sorts them by serial)
#   crl.impostor.der  impostor (ca's Name byte for byte, its own key), lists "revoked", not signer
#   crl.extra-attribute.der  extraca (ca's Name and a domainComponent), lists "revoked", not signer
#   crl.repeated-attribute.der  repeatca (ca's Name with OU twice), lists "revoked", not signer
# The three issuers of the last ones: impostor.cert.pem, extraca.cert.pem,
# repeatca.cert.pem (keys beside them, 1024 bits).
set -euo pipefail

out=$(cd "$1" && pwd)
cnf="$(cd "$(dirname "$0")" && pwd)/pki.cnf"
work="$out/.work/crls"
rm -rf "$work"
mkdir -p "$work"
export PKI_CA_DIR="$work/none"
export OPENSSL_CONF=/dev/null

ossl() {
    openssl "$@" </dev/null 2>"$work/err" || {
        echo "make-crls.sh: openssl $1 failed:" >&2
        cat "$work/err" >&2
        exit 1
    }
}

serial_of() { openssl x509 -in "$out/$1.cert.pem" -noout -serial | cut -d= -f2; }
entry() { printf 'R\t491231235959Z\t240601120000Z,keyCompromise\t%s\tunknown\t/CN=x\n' "$1"; }

# crl NAME ISSUER CRLNUMBER LAST NEXT [EXTENSIONS [DIGEST]]: index lines on stdin.
crl() {
    local name=$1 issuer=$2 number=$3 last=$4 next=$5 exts=${6:-crl_ext} md=${7:-sha1}
    local dir="$work/$name"
    mkdir -p "$dir"
    cat >"$dir/index.txt"
    echo "$number" >"$dir/crlnumber"
    PKI_CA_DIR=$dir ossl ca -batch -config "$cnf" -keyfile "$out/$issuer.key.pem" -cert "$out/$issuer.cert.pem" \
        -gencrl -crlexts "$exts" -md "$md" -crl_lastupdate "$last" -crl_nextupdate "$next" -out "$dir/crl.pem"
    ossl crl -in "$dir/crl.pem" -outform DER -out "$out/crl.$name.der"
}

last=240701000000Z
next=491231235959Z
signer=$(serial_of signer)

{ entry "$(serial_of revoked)"; entry "$signer"; } | crl top-bit ca 01 $last $next
entry "$(serial_of signer2)" | crl 20-byte ca 02 $last $next
: | crl empty ca 03 $last $next
{
    for i in $(seq 1 2500); do entry "$(printf '7F%06X' "$i")"; done
    entry "$signer"
    for i in $(seq 2501 4999); do entry "$(printf '7F%06X' "$i")"; done
} | crl 5000 ca 04 $last $next
entry "$(serial_of other)" | crl other-ca otherca 01 $last $next
entry "$signer" | crl stale ca 05 100101000000Z 110101000000Z
entry "3C$(printf '%0118X' 1)" | crl serial-60 ca 06 $last $next
entry "$signer" | crl number-120 ca "7F$(printf '%0238X' 1)" $last $next

# A 4096-bit root: its signatures are larger than the readers accept.
ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:4096 -out "$out/bigca.key.pem"
ossl req -new -x509 -config "$cnf" -key "$out/bigca.key.pem" -subj "/C=ES/O=Norvane Test/OU=Tavomir/CN=Tavomir Big CA" \
    -addext subjectKeyIdentifier=hash -addext basicConstraints=critical,CA:true -days 9000 -sha1 \
    -out "$out/bigca.cert.pem"
ossl x509 -in "$out/bigca.cert.pem" -outform DER -out "$out/bigca.cert.der"
entry "$signer" | crl big-ca bigca 01 $last $next

entry "$(serial_of revoked)" | crl delta ca 07 $last $next crl_delta
entry "$(serial_of revoked)" | crl idp ca 08 $last $next crl_idp
entry "$(serial_of revoked)" | crl unknown-critical ca 09 $last $next crl_unknown_critical
entry "$signer" | crl sha256 ca 0A $last $next crl_ext sha256
awk -v signer="$signer" 'BEGIN {
    for (i = 1; i <= 100000; i++)
        printf "R\t491231235959Z\t240601120000Z,keyCompromise\t%s\tunknown\t/CN=x\n", i == 99999 ? signer : sprintf("7E%06X", i)
}' | crl 100k ca 0B $last $next

# Issuers whose Name is ca's, or ca's but for one attribute.
self_signed() {  # NAME SUBJECT
    ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$out/$1.key.pem"
    ossl req -new -x509 -config "$cnf" -key "$out/$1.key.pem" -subj "$2" -addext subjectKeyIdentifier=hash \
        -addext basicConstraints=critical,CA:true -days 9000 -sha1 -out "$out/$1.cert.pem"
}
self_signed impostor "/C=ES/O=Norvane Test/OU=Tavomir/CN=Tavomir Test CA"
self_signed extraca "/DC=tavomir/C=ES/O=Norvane Test/OU=Tavomir/CN=Tavomir Test CA"
self_signed repeatca "/C=ES/O=Norvane Test/OU=Tavomir/OU=Tavomir/CN=Tavomir Test CA"
for issuer in impostor extraca repeatca; do
    name=$issuer
    [ "$issuer" = extraca ] && name=extra-attribute
    [ "$issuer" = repeatca ] && name=repeated-attribute
    entry "$(serial_of revoked)" | crl "$name" "$issuer" 01 $last $next
done
