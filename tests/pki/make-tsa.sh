#!/usr/bin/env bash
# make-tsa.sh PKIDIR - the test time-stamp authority beside the test PKI (made
# by make-pki.sh in PKIDIR), in PKIDIR/tsa, for `openssl ts -reply`:
#   othertsa.cert.pem, othertsa.key.pem  a TSA certificate (critical
#       timeStamping) from otherca, serial 3001, CN "Tavomir Other TSA"
#   tsa.cnf  sections, each signing with the PKI's tsa certificate unless said:
#     tsa_sha1      SHA-1 signature, accepts SHA-1 and SHA-256 imprints
#     tsa_sha256    SHA-256 signature
#     tsa_fraction  SHA-1, accuracy and millisecond precision: genTime has a fraction
#     tsa_nosha1    accepts SHA-256 imprints only: a SHA-1 query is refused
#                   (rejection, badAlg, with a statusString)
#     tsa_other     signed by othertsa
#   The serial file is named by the environment: TSA_SERIAL=FILE, so that
#   concurrent suites keep serials of their own.
set -euo pipefail

pki=$(cd "$1" && pwd)
out="$pki/tsa"
rm -rf "$out" && mkdir -p "$out/.work"
export OPENSSL_CONF=/dev/null PKI_CA_DIR="$out/.work"

# openssl's complaints are shown only when it fails, and end the script.
ossl() { openssl "$@" </dev/null >/dev/null 2>"$out/.work/err" || { cat "$out/.work/err" >&2; exit 1; }; }

cat >"$out/.work/ext.cnf" <<'CNF'
[ tsa ]
basicConstraints       = CA:FALSE
keyUsage               = critical, digitalSignature, nonRepudiation
extendedKeyUsage       = critical, timeStamping
CNF

ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$out/othertsa.key.pem"
ossl req -new -config "$(dirname "$0")/pki.cnf" -key "$out/othertsa.key.pem" -subj "/C=ES/O=Norvane Test/OU=Tavomir/CN=Tavomir Other TSA" \
    -out "$out/.work/othertsa.csr"
ossl x509 -req -in "$out/.work/othertsa.csr" -CA "$pki/otherca.cert.pem" -CAkey "$pki/otherca.key.pem" \
    -set_serial 0x3001 -days 8000 -sha1 -extfile "$out/.work/ext.cnf" -extensions tsa -out "$out/othertsa.cert.pem"

# section NAME SIGNER_CERT SIGNER_KEY DIGEST IMPRINTS [EXTRA LINES]
section() {
    printf '[ %s ]\nserial = $ENV::TSA_SERIAL\ncrypto_device = builtin\n' "$1"
    printf 'signer_cert = %s\nsigner_key = %s\nsigner_digest = %s\n' "$2" "$3" "$4"
    printf 'default_policy = 1.2.3.4.1\ndigests = %s\n' "$5"
    printf 'ess_cert_id_chain = no\ness_cert_id_alg = sha1\n%b\n' "${6:-}"
}
{
    printf '[ tsa ]\ndefault_tsa = tsa_sha1\n\n'
    section tsa_sha1 "$pki/tsa.cert.pem" "$pki/tsa.key.pem" sha1 "sha1, sha256"
    section tsa_sha256 "$pki/tsa.cert.pem" "$pki/tsa.key.pem" sha256 "sha1, sha256"
    section tsa_fraction "$pki/tsa.cert.pem" "$pki/tsa.key.pem" sha1 "sha1, sha256" \
        'accuracy = secs:1, millisecs:500\nclock_precision_digits = 3\nordering = yes'
    section tsa_nosha1 "$pki/tsa.cert.pem" "$pki/tsa.key.pem" sha256 "sha256"
    section tsa_other "$out/othertsa.cert.pem" "$out/othertsa.key.pem" sha1 "sha1, sha256"
} >"$out/tsa.cnf"

# Each section answers a SHA-1 query as it should.
printf 'make-tsa\n' >"$out/.work/data"
ossl ts -query -data "$out/.work/data" -sha1 -cert -out "$out/.work/query"
export TSA_SERIAL="$out/.work/serial"
for s in tsa_sha1 tsa_sha256 tsa_fraction tsa_nosha1 tsa_other; do
    ossl ts -reply -config "$out/tsa.cnf" -section "$s" -queryfile "$out/.work/query" -out "$out/.work/$s.tsr"
    status=$(openssl ts -reply -in "$out/.work/$s.tsr" -text 2>/dev/null | sed -n 's/^Status: //p')
    want="Granted."
    [ "$s" = tsa_nosha1 ] && want="Rejected."
    [ "$status" = "$want" ] || { echo "make-tsa.sh: $s answers '$status'" >&2; exit 1; }
done
rm -rf "$out/.work"
