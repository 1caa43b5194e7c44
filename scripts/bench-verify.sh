#!/bin/bash
# Times "A" kind F (on DER and on base64 input), "A" kind E and "AV" under
# Wine, beside `openssl cms -verify` and `openssl cms -decrypt` on the same
# messages: wall time and peak memory of each whole process, then the
# ratios of ours to theirs and of base64 input to DER. Last, "A" with the
# CRL check on over a 100 MiB CRL that does not list the signer (the whole
# list is read), beside `openssl crl -verify` of the same list.
#   scripts/bench-verify.sh [MIB...]     (default: 16 and 512)
# The messages are made by our own "F" and "FE" before the timed runs; every
# output is compared with the input. The 32-bit deliverable runs where the
# kernel runs 32-bit code, else the 64-bit build of the same code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=("$@"); [ ${#sizes[@]} -gt 0 ] || sizes=(16 512)
. "$root/scripts/bench-lib.sh"

same() {  # file: must equal the input
    cmp -s "$work/in.bin" "$1" || { echo "$1 differs from the input" >&2; exit 1; }
    rm -f "$1"
}
heading
verify=(cms -verify -binary -inform DER -CAfile "$pki/ca.cert.pem" -purpose any)
for size in "${sizes[@]}"; do
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/in.bin"
    engine F PKCS "$work/in.bin" "$work/signed.b64" >/dev/null
    engine F PKCSD "$work/in.bin" "$work/detached.b64" >/dev/null
    # Enveloped for the configured signer itself, so that "A" can open it.
    engine FE PKCS "$work/in.bin" "$work/enveloped.b64" "$pki/signer.cert.der" >/dev/null
    debase64 "$work/signed.b64" "$work/signed.der"
    debase64 "$work/detached.b64" "$work/detached.der"
    debase64 "$work/enveloped.b64" "$work/enveloped.der"
    sync  # no write-back of the messages during the timed runs

    ours "$size" "Tavomir A F (DER)" A "" "$work/signed.der" "$work/out.bin" TypeOne=F
    same "$work/out.bin"
    ours "$size" "Tavomir A F (base64)" A "" "$work/signed.b64" "$work/out.bin" TypeOne=F
    same "$work/out.bin"
    ours "$size" "Tavomir A E (DER)" A "" "$work/enveloped.der" "$work/out.bin" TypeOne=E
    same "$work/out.bin"
    ours "$size" "Tavomir A E (base64)" A "" "$work/enveloped.b64" "$work/out.bin" TypeOne=E
    same "$work/out.bin"
    # "AV" writes nothing: its answer "2" is the comparison.
    ours "$size" "Tavomir AV (DER)" AV "" "$work/in.bin" NULL FileInputTwo="$work/detached.der"
    ours "$size" "Tavomir AV (base64)" AV "" "$work/in.bin" NULL FileInputTwo="$work/detached.b64"

    theirs "$size" "openssl cms -verify" "${verify[@]}" -in "$work/signed.der" -out "$work/out.bin"
    same "$work/out.bin"
    theirs "$size" "openssl cms -verify -content" "${verify[@]}" -in "$work/detached.der" \
        -content "$work/in.bin" -out "$work/out.bin"
    same "$work/out.bin"
    theirs "$size" "openssl cms -decrypt" cms -decrypt -provider legacy -provider default -binary \
        -inform DER -in "$work/enveloped.der" -recip "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" \
        -out "$work/decrypted.der"
    theirs "$size" "  then -verify of its output" "${verify[@]}" -in "$work/decrypted.der" -out "$work/out.bin"
    same "$work/out.bin"
    rm -f "$work"/*.der "$work"/*.b64 "$work/in.bin"

    ratio "$size" "Tavomir A F (DER)" "openssl cms -verify"
    ratio "$size" "Tavomir A F (base64)" "openssl cms -verify"
    ratio "$size" "Tavomir A F (base64)" "Tavomir A F (DER)"
    ratio "$size" "Tavomir A E (DER)" "openssl cms -decrypt" "  then -verify of its output"
    ratio "$size" "Tavomir A E (base64)" "Tavomir A E (DER)"
    ratio "$size" "Tavomir AV (DER)" "openssl cms -verify -content"
    ratio "$size" "Tavomir AV (base64)" "Tavomir AV (DER)"
done

# A CRL of 100 MiB from the test CA, entries in serial order, the signer
# not among them; made here and signed by openssl.
crl_size=100
python3 "$root/scripts/bench-crl.py" "$pki/ca.cert.der" $((crl_size * 1024 * 1024)) "$work/tbs.der"
openssl dgst -sha1 -sign "$pki/ca.key.pem" -out "$work/tbs.sig" "$work/tbs.der"
python3 "$root/scripts/bench-crl.py" --assemble "$work/tbs.der" "$work/tbs.sig" "$work/big.crl"
rm -f "$work/tbs.der" "$work/tbs.sig"
head -c 20000 /dev/urandom >"$work/in.bin"
engine F PKCS "$work/in.bin" "$work/signed.b64" >/dev/null
sync
fixture reg-set USAR_AC dword 1 >/dev/null
fixture reg-set CERT_AC sz "$pki/ca.cert.der" >/dev/null
fixture reg-set USAR_CRL dword 1 >/dev/null
fixture reg-set CRL sz "$work/big.crl" >/dev/null
ours "$crl_size" "Tavomir A F, CRL of 100 MiB" A "" "$work/signed.b64" "$work/out.bin" TypeOne=F
same "$work/out.bin"
fixture reg-set USAR_CRL dword 0 >/dev/null
fixture reg-set USAR_AC dword 0 >/dev/null
timed "$crl_size" "openssl crl -verify" openssl crl -inform DER -in "$work/big.crl" -CAfile "$pki/ca.cert.pem" -noout
ratio "$crl_size" "Tavomir A F, CRL of 100 MiB" "openssl crl -verify"
leftovers=$(find "$work" -name '*.tmp' | wc -l)
[ "$leftovers" = 0 ] || { echo "$leftovers temporary files left" >&2; exit 1; }
