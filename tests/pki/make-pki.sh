#!/usr/bin/env bash
# make-pki.sh OUTDIR - generate the test PKI with the OpenSSL command line.
#
# Keys are fresh on every run; names, serials, dates, extensions and passwords
# are fixed, so any run serves the tests.  Takes a few seconds.
# OUTDIR is created; a previous PKI in it (marked by .tavomir-pki) is replaced,
# any other non-empty folder is refused.
#
# What the crypto core reads: RSA of 1024 or 2048 bits, sha1WithRSAEncryption
# (md5WithRSAEncryption for "md5"), PrintableString names, UTCTime validity.
#
# Entities (NAME: issuer, bits, serial hex, purpose):
#   ca         self     2048  01        root CA, valid 2009-01-01 .. 2049-12-31
#   signer     ca       2048  1002      signs and decrypts (keyUsage digitalSignature,
#                                       nonRepudiation, keyEncipherment, dataEncipherment)
#   recipient  ca       1024  1003      enveloping recipient (keyEncipherment, dataEncipherment)
#   signer2    ca       1024  20 random bytes (OpenSSL's default size), signer usages
#   nokey      ca       1024  1005      installed without its private key
#   revoked    ca       1024  8B7E0F4C  top bit set; revoked 2024-06-01 12:00:00 UTC,
#                                       keyCompromise, listed in ca.crl
#   expired    ca       1024  1007      valid 2010-01-01 .. 2012-01-01 only
#   ocsp       ca       2048  1009      OCSP responder: extKeyUsage OCSPSigning only, not critical
#   tsa        ca       2048  100A      time-stamp authority: extKeyUsage timeStamping, critical
#   md5        ca       1024  F1        top bit set; signed with md5WithRSAEncryption
#   otherca    self     2048  01        a second root CA (same serial as ca)
#   other      otherca  1024  1002      certificate from the other CA (same serial as signer)
# Leaf certificates are valid 2024-01-01 .. 2049-12-31 unless stated.
# Names: C=ES, O=Norvane Test, OU=Tavomir, CN as in OUTDIR/pki.env (NAME_CN).
#
# Files in OUTDIR for each NAME:
#   NAME.cert.der  NAME.cert.pem      certificate
#   NAME.key.pem                      private key, PKCS#8 PEM, unencrypted
#   NAME.key.rsa.pem                  private key, PKCS#1 PEM
#   NAME.key.pk1.der                  private key, PKCS#1 RSAPrivateKey DER
#   NAME.key.pk8.der                  private key, PKCS#8 PrivateKeyInfo DER
#   NAME.key.p8e.der  NAME.key.p8e.pem  PKCS#8 EncryptedPrivateKeyInfo,
#                                       pbeWithMD5AndDES-CBC, 100 iterations, password PKI_PASSWORD
#   NAME.p12                          PKCS#12 (leaves only): key, certificate and its CA,
#                                     PBE-SHA1-3DES, MAC SHA-1, password PKI_PASSWORD
# Further files:
#   ca.crl.der  ca.crl.pem            v2 CRL of ca, sha1WithRSA, CRL number 1, lastUpdate
#                                     2024-07-01, nextUpdate 2049-12-31, listing "revoked"
#   signer.nopass.p12                 PKCS#12 of signer with the empty password
#   ca.index.txt                      ca's OpenSSL database (for openssl ocsp -index)
#   message.txt                       a fixed short text
#   signer.message.sha1.sig           PKCS#1 v1.5 SHA-1 signature of message.txt by
#                                     signer's key, big-endian (as openssl dgst writes it)
#   pki.env                           manifest, shell variables: PKI_PASSWORD, PKI_ENTITIES,
#                                     PKI_LEAVES, and per entity (upper-case NAME) NAME_CN,
#                                     NAME_SERIAL (hex), NAME_SHA1 (thumbprint hex), NAME_BITS
#   README                            the same list in words
#   messages/                         signed and enveloped messages, raw signatures (make-messages.sh)
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi

here=$(cd "$(dirname "$0")" && pwd)
cnf="$here/pki.cnf"
out=$1
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Refuse to wipe a folder that is not ours.
if [ -n "$(ls -A "$out")" ] && [ ! -e "$out/.tavomir-pki" ]; then
    echo "make-pki.sh: $out is not empty and holds no test PKI; refusing" >&2
    exit 1
fi
find "$out" -mindepth 1 -delete
touch "$out/.tavomir-pki"

# Isolate from the machine's OpenSSL configuration.
export OPENSSL_CONF=/dev/null
export PKI_CA_DIR="$out/.work/none"

password=tavomir
subject_base="/C=ES/O=Norvane Test/OU=Tavomir"
leaf_from=240101000000Z
leaf_to=491231235959Z
ca_from=090101000000Z

ossl() {
    local err=$out/.work/err.$BASHPID
    openssl "$@" </dev/null 2>"$err" || {
        echo "make-pki.sh: openssl $1 failed:" >&2
        cat "$err" >&2
        exit 1
    }
}

mkdir -p "$out/.work"
manifest="$out/pki.env"
{
    echo "# Test PKI manifest written by make-pki.sh; file names are relative to this folder."
    echo "PKI_PASSWORD=$password"
} >"$manifest"

entities=()
leaves=()

# ca_dir NAME: working folder (index, serial) of the CA NAME.
ca_dir() { echo "$out/.work/$1"; }

# key_files NAME BITS: generate the key and write every key encoding.
key_files() {
    local n=$1 bits=$2
    ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:"$bits" -out "$out/$n.key.pem"
    ossl rsa -in "$out/$n.key.pem" -traditional -out "$out/$n.key.rsa.pem"
    ossl rsa -in "$out/$n.key.pem" -traditional -outform DER -out "$out/$n.key.pk1.der"
    ossl pkcs8 -topk8 -nocrypt -in "$out/$n.key.pem" -outform DER -out "$out/$n.key.pk8.der"
    # PBES1 with MD5 and DES lives in the legacy provider.
    ossl pkcs8 -topk8 -v1 PBE-MD5-DES -iter 100 -provider legacy -provider default \
        -in "$out/$n.key.pem" -passout pass:"$password" -outform DER -out "$out/$n.key.p8e.der"
    ossl pkcs8 -topk8 -v1 PBE-MD5-DES -iter 100 -provider legacy -provider default \
        -in "$out/$n.key.pem" -passout pass:"$password" -out "$out/$n.key.p8e.pem"
}

# issue NAME ISSUER BITS SERIAL EXTENSIONS MD FROM TO CN
#   ISSUER "self" makes a root CA; SERIAL "random" takes 20 random bytes.
issue() {
    local n=$1 issuer=$2 bits=$3 serial=$4 ext=$5 md=$6 from=$7 to=$8 cn=$9
    local subj="$subject_base/CN=$cn" cadir
    ossl req -new -config "$cnf" -key "$out/$n.key.pem" -subj "$subj" -out "$out/.work/$n.csr"

    if [ "$issuer" = self ]; then
        cadir=$(ca_dir "$n")
        mkdir -p "$cadir/newcerts"
        : >"$cadir/index.txt"
        echo 01 >"$cadir/crlnumber"
    else
        cadir=$(ca_dir "$issuer")
    fi
    if [ "$serial" = random ]; then
        # 20 bytes with the top bit clear: positive and exactly 20 content bytes.
        serial=$(openssl rand -hex 20 | tr a-f A-F)
        serial=$(printf '%02X' $(( (0x${serial:0:2} & 0x7F) | 0x40 )))${serial:2}
    fi
    echo "$serial" >"$cadir/serial"

    local signargs=(-keyfile "$out/$issuer.key.pem" -cert "$out/$issuer.cert.pem")
    [ "$issuer" = self ] && signargs=(-selfsign -keyfile "$out/$n.key.pem")
    PKI_CA_DIR=$cadir ossl ca -batch -config "$cnf" -notext -preserveDN -subj "$subj" \
        -md "$md" -startdate "$from" -enddate "$to" -extensions "$ext" \
        "${signargs[@]}" -in "$out/.work/$n.csr" -out "$out/$n.cert.pem"
    ossl x509 -in "$out/$n.cert.pem" -outform DER -out "$out/$n.cert.der"

    if [ "$issuer" != self ]; then
        ossl pkcs12 -export -in "$out/$n.cert.pem" -inkey "$out/$n.key.pem" \
            -certfile "$out/$issuer.cert.pem" -name "$cn" -passout pass:"$password" \
            -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -out "$out/$n.p12"
        leaves+=("$n")
    fi

    local upper sha1
    upper=$(echo "$n" | tr a-z A-Z)
    sha1=$(openssl x509 -in "$out/$n.cert.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    {
        echo "${upper}_CN='$cn'"
        echo "${upper}_SERIAL=$serial"
        echo "${upper}_SHA1=$sha1"
        echo "${upper}_BITS=$bits"
    } >>"$manifest"
    entities+=("$n")
}

# NAME ISSUER BITS SERIAL EXTENSIONS MD FROM TO CN (the rest of the line)
table="\
ca        self     2048 01        v3_ca        sha1 $ca_from   $leaf_to      Tavomir Test CA
signer    ca       2048 1002      v3_signer    sha1 $leaf_from $leaf_to      Tavomir Test Signer
recipient ca       1024 1003      v3_recipient sha1 $leaf_from $leaf_to      Tavomir Test Recipient
signer2   ca       1024 random    v3_signer    sha1 $leaf_from $leaf_to      Tavomir Test Signer Two
nokey     ca       1024 1005      v3_signer    sha1 $leaf_from $leaf_to      Tavomir Test No Key
revoked   ca       1024 8B7E0F4C  v3_signer    sha1 $leaf_from $leaf_to      Tavomir Test Revoked
expired   ca       1024 1007      v3_signer    sha1 100101000000Z 120101000000Z Tavomir Test Expired
ocsp      ca       2048 1009      v3_ocsp      sha1 $leaf_from $leaf_to      Tavomir Test OCSP Responder
tsa       ca       2048 100A      v3_tsa       sha1 $leaf_from $leaf_to      Tavomir Test TSA
md5       ca       1024 F1        v3_signer    md5  $leaf_from $leaf_to      Tavomir Test MD5
otherca   self     2048 01        v3_ca        sha1 $ca_from   $leaf_to      Tavomir Other CA
other     otherca  1024 1002      v3_signer    sha1 $leaf_from $leaf_to      Tavomir Other Signer"

# Keys in parallel (the slow part), then the certificates in table order.
pids=()
while read -r n _ bits _; do
    key_files "$n" "$bits" &
    pids+=($!)
done <<<"$table"
for pid in "${pids[@]}"; do
    wait "$pid" || exit 1
done
while read -r n issuer bits serial ext md from to cn; do
    issue "$n" "$issuer" "$bits" "$serial" "$ext" "$md" "$from" "$to" "$cn"
done <<<"$table"

# Revoke with a fixed revocation date, then the v2 CRL of ca.
export PKI_CA_DIR
PKI_CA_DIR=$(ca_dir ca)
ossl ca -batch -config "$cnf" -keyfile "$out/ca.key.pem" -cert "$out/ca.cert.pem" \
    -revoke "$out/revoked.cert.pem" -crl_reason keyCompromise
sed -i 's/^\(R\t[^\t]*\t\)[0-9]*Z,/\1240601120000Z,/' "$PKI_CA_DIR/index.txt"
ossl ca -batch -config "$cnf" -keyfile "$out/ca.key.pem" -cert "$out/ca.cert.pem" -gencrl \
    -md sha1 -crl_lastupdate 240701000000Z -crl_nextupdate 491231235959Z -out "$out/ca.crl.pem"
ossl crl -in "$out/ca.crl.pem" -outform DER -out "$out/ca.crl.der"

ossl pkcs12 -export -in "$out/signer.cert.pem" -inkey "$out/signer.key.pem" \
    -certfile "$out/ca.cert.pem" -name "Tavomir Test Signer" -passout pass: \
    -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -out "$out/signer.nopass.p12"

printf 'Tavomir fixture message' >"$out/message.txt"
ossl dgst -sha1 -sign "$out/signer.key.pem" -out "$out/signer.message.sha1.sig" "$out/message.txt"

{
    echo "PKI_ENTITIES='${entities[*]}'"
    echo "PKI_LEAVES='${leaves[*]}'"
} >>"$manifest"

cat >"$out/README" <<EOF
Test PKI generated by tests/pki/make-pki.sh; regenerate at will (keys change, names do not).
Entities: ${entities[*]}
Per entity NAME: NAME.cert.der NAME.cert.pem NAME.key.pem (PKCS#8 PEM) NAME.key.rsa.pem (PKCS#1 PEM)
  NAME.key.pk1.der (PKCS#1 DER) NAME.key.pk8.der (PKCS#8 DER)
  NAME.key.p8e.der NAME.key.p8e.pem (PKCS#8 encrypted, PBE-MD5-DES, 100 iterations)
Leaves (${leaves[*]}) also NAME.p12 (PBE-SHA1-3DES, MAC SHA-1, with the CA certificate).
Password of the encrypted keys and PKCS#12 files: $password
ca.crl.der ca.crl.pem: v2 CRL of ca listing "revoked" (serial 8B7E0F4C).
signer.nopass.p12: signer with the empty password.
message.txt, signer.message.sha1.sig: signer's SHA-1 PKCS#1 v1.5 signature of message.txt.
ca.index.txt: ca's database for openssl ocsp -index.
pki.env: serials, SHA-1 thumbprints, names and key sizes as shell variables.
EOF
cp "$(ca_dir ca)/index.txt" "$out/ca.index.txt"
bash "$here/make-crls.sh" "$out"
bash "$here/make-messages.sh" "$out"
rm -rf "$out/.work"
