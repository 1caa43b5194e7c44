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

# crl NAME ISSUER CRLNUMBER LAST NEXT: index lines on stdin.
crl() {
    local name=$1 issuer=$2 number=$3 last=$4 next=$5
    local dir="$work/$name"
    mkdir -p "$dir"
    cat >"$dir/index.txt"
    echo "$number" >"$dir/crlnumber"
    PKI_CA_DIR=$dir ossl ca -batch -config "$cnf" -keyfile "$out/$issuer.key.pem" -cert "$out/$issuer.cert.pem" \
        -gencrl -md sha1 -crl_lastupdate "$last" -crl_nextupdate "$next" -out "$dir/crl.pem"
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
