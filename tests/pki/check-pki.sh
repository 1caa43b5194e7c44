#!/usr/bin/env bash
# check-pki.sh PKIDIR - check a PKI made by make-pki.sh with the OpenSSL
# command line.  Prints one line per failed check; exit 1 if any.
# check-pki.sh --regenerate OUTDIR - check that the script runs twice into one
# folder and refuses a folder that holds something else.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 2 ] && [ "$1" = --regenerate ]; then
    out=$2
    rm -rf "$out"
    bash "$here/make-pki.sh" "$out" >/dev/null || { echo "FAIL: first run"; exit 1; }
    first=$(grep '^SIGNER_SHA1=' "$out/pki.env")
    bash "$here/make-pki.sh" "$out" >/dev/null || { echo "FAIL: second run into the same folder"; exit 1; }
    [ "$(grep '^SIGNER_SHA1=' "$out/pki.env")" != "$first" ] || { echo "FAIL: second run kept the old signer"; exit 1; }
    foreign=$out/foreign
    mkdir -p "$foreign" && touch "$foreign/keep"
    bash "$here/make-pki.sh" "$foreign" >/dev/null 2>&1 && { echo "FAIL: a foreign folder was accepted"; exit 1; }
    [ -e "$foreign/keep" ] || { echo "FAIL: a foreign file was removed"; exit 1; }
    echo "regeneration OK"
    exit 0
fi
if [ $# -ne 1 ]; then
    echo "usage: $0 PKIDIR | --regenerate OUTDIR" >&2
    exit 2
fi
out=$(cd "$1" && pwd) || { echo "FAIL: no folder $1"; exit 1; }
[ -e "$out/.tavomir-pki" ] || { echo "FAIL: $out holds no test PKI"; exit 1; }
cd "$out" || exit 1
export OPENSSL_CONF=/dev/null
# shellcheck disable=SC1091
. ./pki.env

# Checks run as parallel jobs that print "FAIL: ..." lines into $log.
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
njobs=0
fail() { echo "FAIL: $*"; }
bg() { njobs=$((njobs + 1)); "$@" >"$log/$njobs" 2>&1 & }

# expect_verify WANT ARGS... : WANT "OK" or an error text of openssl verify.
expect_verify() {
    local want=$1 got rc
    shift
    got=$(openssl verify "$@" 2>&1)
    rc=$?
    if [ "$want" = OK ]; then
        [ $rc -eq 0 ] && grep -q ': OK$' <<<"$got" || fail "verify $*: $got"
    else
        [ $rc -ne 0 ] && grep -q "$want" <<<"$got" && ! grep -q ': OK$' <<<"$got" ||
            fail "verify $* should fail with '$want': $got"
    fi
}

upper() { tr a-z A-Z <<<"$1"; }
var() { eval "echo \"\${$(upper "$1")_$2}\""; }

# --- files of the manifest ---------------------------------------------------
check_files() {
    for n in $PKI_ENTITIES; do
        for f in cert.der cert.pem key.pem key.rsa.pem key.pk1.der key.pk8.der key.p8e.der key.p8e.pem; do
            [ -s "$n.$f" ] || fail "missing $n.$f"
        done
    done
    for n in $PKI_LEAVES; do
        [ -s "$n.p12" ] || fail "missing $n.p12"
    done
    for f in ca.crl.der ca.crl.pem ca.index.txt signer.nopass.p12 message.txt signer.message.sha1.sig README; do
        [ -s "$f" ] || fail "missing $f"
    done
    [ -d .work ] && fail "working folder .work left behind"
}
bg check_files

# --- chains --------------------------------------------------------------------
check_chains() {
    for n in signer recipient signer2 nokey revoked ocsp tsa md5; do
        expect_verify OK -CAfile ca.cert.pem "$n.cert.pem"
    done
    expect_verify OK -CAfile otherca.cert.pem other.cert.pem
    expect_verify "error 10 at 0 depth lookup: certificate has expired" -CAfile ca.cert.pem expired.cert.pem
    expect_verify "error 20 at 0 depth lookup: unable to get local issuer certificate" \
        -CAfile ca.cert.pem other.cert.pem
    expect_verify "error 20 at 0 depth lookup: unable to get local issuer certificate" \
        -CAfile otherca.cert.pem signer.cert.pem
    expect_verify "error 23 at 0 depth lookup: certificate revoked" \
        -crl_check -CRLfile ca.crl.pem -CAfile ca.cert.pem revoked.cert.pem
    expect_verify OK -crl_check -CRLfile ca.crl.pem -CAfile ca.cert.pem signer.cert.pem
}
bg check_chains

# --- purposes ------------------------------------------------------------------
check_purposes() {
    # timestampsign demands timeStamping as the only, critical extKeyUsage.
    expect_verify OK -purpose timestampsign -CAfile ca.cert.pem tsa.cert.pem
    for n in signer ocsp; do
        expect_verify "unsuitable certificate purpose" -purpose timestampsign -CAfile ca.cert.pem "$n.cert.pem"
    done
    eku() { openssl x509 -in "$1.cert.pem" -noout -text | grep -A1 'X509v3 Extended Key Usage'; }
    want=$'            X509v3 Extended Key Usage: critical\n                Time Stamping'
    [ "$(eku tsa)" = "$want" ] || fail "tsa extKeyUsage: $(eku tsa)"
    want=$'            X509v3 Extended Key Usage: \n                OCSP Signing'
    [ "$(eku ocsp)" = "$want" ] || fail "ocsp extKeyUsage: $(eku ocsp)"
    for n in signer recipient signer2; do
        [ -z "$(eku "$n")" ] || fail "$n has an extKeyUsage"
    done
    ku=$(openssl x509 -in signer.cert.pem -noout -ext keyUsage | tail -n 1 | sed 's/^ *//')
    [ "$ku" = "Digital Signature, Non Repudiation, Key Encipherment, Data Encipherment" ] ||
        fail "signer keyUsage: $ku"
}
bg check_purposes

# The responder certificate is accepted by an OCSP client, a plain signer's is not.
ocsp_check() { # RESPONDER TARGET -> output of the client's check of the response
    local w=$log/ocsp-$1-$2
    mkdir -p "$w"
    openssl ocsp -issuer ca.cert.pem -cert "$2.cert.pem" -no_nonce -reqout "$w/req.der" >/dev/null 2>&1 &&
    openssl ocsp -index ca.index.txt -CA ca.cert.pem -rsigner "$1.cert.pem" -rkey "$1.key.pem" \
        -reqin "$w/req.der" -respout "$w/resp.der" -ndays 1 >/dev/null 2>&1 &&
    openssl ocsp -respin "$w/resp.der" -CAfile ca.cert.pem -issuer ca.cert.pem -cert "$2.cert.pem" 2>&1
    rm -rf "$w"
}
check_ocsp() {
    local r
    r=$(ocsp_check ocsp revoked)
    grep -q 'Response verify OK' <<<"$r" && grep -q 'revoked.cert.pem: revoked' <<<"$r" ||
        fail "OCSP response by ocsp for revoked: $r"
    r=$(ocsp_check ocsp signer)
    grep -q 'Response verify OK' <<<"$r" && grep -q 'signer.cert.pem: good' <<<"$r" ||
        fail "OCSP response by ocsp for signer: $r"
    r=$(ocsp_check signer2 signer)
    grep -q 'Response verify OK' <<<"$r" && fail "OCSP response signed by signer2 was accepted"
}
bg check_ocsp

# --- encodings the crypto core reads --------------------------------------------
check_cert() {
    local n=$1 a alg bits sha1 serial
    a=$(openssl asn1parse -inform DER -in "$n.cert.der")
    grep -qE 'UTF8STRING|BMPSTRING|T61STRING|GENERALIZEDTIME' <<<"$a" && fail "$n: non-PrintableString name or GeneralizedTime"
    [ "$(grep -c 'PRINTABLESTRING' <<<"$a")" -eq 8 ] || fail "$n: expected 8 PrintableString attributes"
    [ "$(grep -c 'UTCTIME' <<<"$a")" -eq 2 ] || fail "$n: validity not UTCTime"
    alg=sha1WithRSAEncryption
    [ "$n" = md5 ] && alg=md5WithRSAEncryption
    [ "$(grep -c ":$alg\$" <<<"$a")" -eq 2 ] || fail "$n: not signed with $alg"
    bits=$(openssl x509 -in "$n.cert.pem" -noout -text | sed -n 's/.*Public-Key: (\([0-9]*\) bit).*/\1/p')
    [ "$bits" = "$(var "$n" BITS)" ] || fail "$n: $bits-bit key, manifest says $(var "$n" BITS)"
    sha1=$(openssl x509 -in "$n.cert.der" -inform DER -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    [ "$sha1" = "$(var "$n" SHA1)" ] || fail "$n: thumbprint differs from the manifest"
    serial=$(openssl x509 -in "$n.cert.pem" -noout -serial | sed 's/.*=//')
    [ "$serial" = "$(var "$n" SERIAL)" ] || fail "$n: serial $serial, manifest $(var "$n" SERIAL)"
    cmp -s <(openssl x509 -in "$n.cert.pem" -outform DER) "$n.cert.der" || fail "$n: PEM and DER differ"
}
for n in $PKI_ENTITIES; do bg check_cert "$n"; done

check_encodings() {
    local a
    a=$(openssl asn1parse -inform DER -in ca.crl.der)
    grep -q 'UTF8STRING' <<<"$a" && fail "CRL issuer not PrintableString"
    [ "$(grep -c ':sha1WithRSAEncryption$' <<<"$a")" -eq 2 ] || fail "CRL not signed with sha1WithRSAEncryption"
    [ "$(grep -c 'UTCTIME' <<<"$a")" -eq 3 ] || fail "CRL times not UTCTime"

    # Serial INTEGER content lengths: leading zero for a set top bit, 20 random bytes.
    serial_len() { openssl asn1parse -inform DER -in "$1.cert.der" | awk '/d=2/ && /INTEGER/ {sub(/.*l= */, ""); print $1; exit}'; }
    for c in "ca 1" "signer 2" "revoked 5" "md5 2" "signer2 20"; do
        set -- $c
        [ "$(serial_len "$1")" = "$2" ] || fail "$1: serial INTEGER has $(serial_len "$1") content bytes, want $2"
    done
    openssl asn1parse -inform DER -in revoked.cert.der | grep -q 'INTEGER *:8B7E0F4C$' || fail "revoked serial"
    [ "${#SIGNER2_SERIAL}" -eq 40 ] && [ $((0x${SIGNER2_SERIAL:0:2} & 0x80)) -eq 0 ] ||
        fail "signer2 serial $SIGNER2_SERIAL is not 20 bytes with the top bit clear"
}
bg check_encodings

# --- CRL ---------------------------------------------------------------------------
check_crl() {
    local t
    t=$(openssl crl -in ca.crl.der -inform DER -CAfile ca.cert.pem -noout -text 2>&1)
    grep -q 'verify OK' <<<"$t" || fail "CRL signature: $t"
    grep -q 'Version 2 (0x1)' <<<"$t" || fail "CRL is not v2"
    [ "$(grep -c 'Serial Number:' <<<"$t")" -eq 1 ] && grep -q 'Serial Number: 8B7E0F4C' <<<"$t" ||
        fail "CRL does not list exactly the revoked certificate"
    grep -q 'Revocation Date: Jun  1 12:00:00 2024 GMT' <<<"$t" || fail "CRL revocation date"
    cmp -s <(openssl crl -in ca.crl.pem -outform DER) ca.crl.der || fail "CRL PEM and DER differ"
}
bg check_crl

# The CRLs whose list is not the whole truth, and those of ca's look-alikes.
check_partial_crls() {
    local t f issuer
    for f in "delta:Delta CRL Indicator: critical" "idp:Issuing Distribution Point: critical" \
        "unknown-critical:1.3.6.1.4.1.55555.1: critical"; do
        t=$(openssl crl -in "crl.${f%%:*}.der" -inform DER -CAfile ca.cert.pem -noout -text 2>&1)
        grep -q 'verify OK' <<<"$t" && grep -q "${f#*:}" <<<"$t" || fail "crl.${f%%:*}.der: $t"
        grep -q "Serial Number: $SIGNER_SERIAL" <<<"$t" && fail "crl.${f%%:*}.der lists the signer"
    done
    for issuer in impostor:impostor extra-attribute:extraca repeated-attribute:repeatca; do
        t=$(openssl crl -in "crl.${issuer%%:*}.der" -inform DER -CAfile "${issuer#*:}.cert.pem" -noout 2>&1)
        grep -q 'verify OK' <<<"$t" || fail "crl.${issuer%%:*}.der: $t"
    done
    openssl crl -in crl.impostor.der -inform DER -CAfile ca.cert.pem -noout 2>&1 | grep -q 'verify OK' &&
        fail "crl.impostor.der verifies with ca's key"
    [ "$(openssl crl -in crl.100k.der -inform DER -noout -text | grep -c 'Serial Number:')" -eq 100000 ] ||
        fail "crl.100k.der does not hold 100000 entries"
}
bg check_partial_crls

# --- keys --------------------------------------------------------------------------
modulus() { openssl rsa -noout -modulus "$@" 2>/dev/null; }
check_key() {
    local n=$1 m a
    m=$(openssl x509 -in "$n.cert.pem" -noout -modulus)
    [ "$(modulus -in "$n.key.pem")" = "$m" ] || fail "$n.key.pem does not match the certificate"
    [ "$(modulus -in "$n.key.rsa.pem")" = "$m" ] || fail "$n.key.rsa.pem"
    [ "$(modulus -inform DER -in "$n.key.pk1.der")" = "$m" ] || fail "$n.key.pk1.der"
    [ "$(modulus -inform DER -in "$n.key.pk8.der")" = "$m" ] || fail "$n.key.pk8.der"
    [ "$(modulus -provider legacy -provider default -inform DER -in "$n.key.p8e.der" -passin pass:"$PKI_PASSWORD")" = "$m" ] ||
        fail "$n.key.p8e.der does not decrypt to the key"
    [ "$(modulus -provider legacy -provider default -in "$n.key.p8e.pem" -passin pass:"$PKI_PASSWORD")" = "$m" ] ||
        fail "$n.key.p8e.pem does not decrypt to the key"
    head -n 1 "$n.key.rsa.pem" | grep -q 'BEGIN RSA PRIVATE KEY' || fail "$n.key.rsa.pem is not PKCS#1"
    openssl asn1parse -inform DER -in "$n.key.pk1.der" | sed -n 2p | grep -q 'INTEGER *:00$' || fail "$n.key.pk1.der is not PKCS#1"
    openssl asn1parse -inform DER -in "$n.key.pk8.der" | grep -q ':rsaEncryption$' || fail "$n.key.pk8.der is not PKCS#8"
    # PBES1 with MD5 and DES: 8-byte salt, count 100 in one content byte.
    a=$(openssl asn1parse -inform DER -in "$n.key.p8e.der")
    grep -q ':pbeWithMD5AndDES-CBC$' <<<"$a" && grep -qE 'l= *8 prim: OCTET STRING' <<<"$a" &&
        grep -qE 'l= *1 prim: INTEGER *:64$' <<<"$a" || fail "$n.key.p8e.der: not PBE-MD5-DES, 8-byte salt, 100 iterations"
}
for n in $PKI_ENTITIES; do bg check_key "$n"; done

# --- PKCS#12 -------------------------------------------------------------------------
# Readable without the legacy provider: 3DES bags, SHA-1 MAC.
p12_check() { # FILE PASSWORD NAME
    local info
    info=$(openssl pkcs12 -in "$1" -info -noout -passin pass:"$2" 2>&1) || { fail "$1: $info"; return; }
    grep -q 'MAC: sha1' <<<"$info" || fail "$1: MAC is not SHA-1"
    [ "$(grep -c 'pbeWithSHA1And3-KeyTripleDES-CBC' <<<"$info")" -eq 2 ] || fail "$1: bags are not PBE-SHA1-3DES"
    [ "$(openssl pkcs12 -in "$1" -passin pass:"$2" -nocerts -nodes 2>/dev/null | modulus)" = \
      "$(openssl x509 -in "$3.cert.pem" -noout -modulus)" ] || fail "$1: key does not match $3"
    [ "$(openssl pkcs12 -in "$1" -passin pass:"$2" -nokeys 2>/dev/null | grep -c 'BEGIN CERTIFICATE')" -eq 2 ] ||
        fail "$1: expected the certificate and its CA"
}
for n in $PKI_LEAVES; do
    bg p12_check "$n.p12" "$PKI_PASSWORD" "$n"
done
bg p12_check signer.nopass.p12 "" signer

check_misc() {
    openssl pkcs12 -in signer.p12 -info -noout -passin pass:wrong >/dev/null 2>&1 && fail "signer.p12 opens with a wrong password"
    # The fixed signature.
    openssl dgst -sha1 -verify <(openssl x509 -in signer.cert.pem -noout -pubkey) \
        -signature signer.message.sha1.sig message.txt >/dev/null 2>&1 || fail "signer.message.sha1.sig does not verify"
}
bg check_misc

wait
cat "$log"/[0-9]*
failures=$(cat "$log"/[0-9]* | grep -c '^FAIL:')
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "test PKI OK"
