#!/usr/bin/env bash
# make-ocsp.sh PKIDIR - what the OCSP tests need beside the test PKI (made by
# make-pki.sh in PKIDIR): responder certificates and a responder database,
# in PKIDIR/ocsp. Certificates valid from now for 8000 days (UTCTime), sha1WithRSA,
# 1024-bit keys, names C=ES, O=Norvane Test, OU=Tavomir, CN as below.
#   responder   ca       2001  extKeyUsage OCSPSigning only (delegated responder)
#   noeku       ca       2002  no extKeyUsage at all
#   second      ca       2003  extKeyUsage serverAuth, OCSPSigning (OCSPSigning second)
#   critical    ca       2004  extKeyUsage critical, OCSPSigning
#   otherresp   otherca  2005  extKeyUsage OCSPSigning, from the other CA
#   nocheck     ca       2006  extKeyUsage OCSPSigning, id-pkix-ocsp-nocheck, CRL distribution
#                              points http://127.0.0.1/ca.crl and http://127.0.0.1/second.crl
#   longserial  ca       100277 a target whose serial starts with signer's (1002)
# Each NAME.cert.der, NAME.cert.pem, NAME.key.pem (PKCS#8 PEM).
#   index.txt   ca's responder database for openssl ocsp -index: signer (1002)
#               good, revoked (8B7E0F4C, top bit set) revoked 2024-06-01
#               12:00:00 UTC keyCompromise, longserial good; recipient (1003)
#               has no entry, so it is unknown.
set -euo pipefail

pki=$(cd "$1" && pwd)
cnf="$(cd "$(dirname "$0")" && pwd)/pki.cnf"
out="$pki/ocsp"
rm -rf "$out"
mkdir -p "$out/.work"
export OPENSSL_CONF=/dev/null
export PKI_CA_DIR="$out/.work"

ossl() {
    openssl "$@" </dev/null 2>"$out/.work/err" || {
        echo "make-ocsp.sh: openssl $1 failed:" >&2
        cat "$out/.work/err" >&2
        exit 1
    }
}

cat >"$out/.work/ext.cnf" <<'CNF'
[ responder ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = OCSPSigning
[ noeku ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
[ second ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = serverAuth, OCSPSigning
[ critical ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = critical, OCSPSigning
[ nocheck ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
extendedKeyUsage       = OCSPSigning
noCheck                = ignored
crlDistributionPoints  = URI:http://127.0.0.1/ca.crl, URI:http://127.0.0.1/second.crl
[ longserial ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature
CNF

# issue NAME ISSUER SERIAL CN
issue() {
    local n=$1 issuer=$2 serial=$3 cn=$4 ext=$1
    [ "$n" = otherresp ] && ext=responder
    ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$out/$n.key.pem"
    ossl req -new -config "$cnf" -key "$out/$n.key.pem" -subj "/C=ES/O=Norvane Test/OU=Tavomir/CN=$cn" \
        -out "$out/.work/$n.csr"
    ossl x509 -req -in "$out/.work/$n.csr" -CA "$pki/$issuer.cert.pem" -CAkey "$pki/$issuer.key.pem" \
        -set_serial "0x$serial" -days 8000 -sha1 -extfile "$out/.work/ext.cnf" -extensions "$ext" \
        -out "$out/$n.cert.pem"
    ossl x509 -in "$out/$n.cert.pem" -outform DER -out "$out/$n.cert.der"
}

issue responder ca 2001 "Tavomir Test Delegated Responder"
issue noeku ca 2002 "Tavomir Test Responder No Purpose"
issue second ca 2003 "Tavomir Test Responder Second Purpose"
issue critical ca 2004 "Tavomir Test Responder Critical Purpose"
issue otherresp otherca 2005 "Tavomir Other Responder"
issue nocheck ca 2006 "Tavomir Test Responder No Check"
issue longserial ca 100277 "Tavomir Test Long Serial"

subject() { openssl x509 -in "$1" -noout -subject -nameopt compat | sed 's/^subject=//'; }
{
    printf 'V\t491231235959Z\t\t1002\tunknown\t%s\n' "$(subject "$pki/signer.cert.pem")"
    printf 'R\t491231235959Z\t240601120000Z,keyCompromise\t8B7E0F4C\tunknown\t%s\n' "$(subject "$pki/revoked.cert.pem")"
    printf 'V\t491231235959Z\t\t100277\tunknown\t%s\n' "$(subject "$out/longserial.cert.pem")"
} >"$out/index.txt"
rm -rf "$out/.work"
