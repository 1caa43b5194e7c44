#!/bin/bash
# Times "F" PKCS, "F" PKCSD and "FE" over one large file under Wine, beside
# `openssl cms -sign -binary` on the same file: wall time and peak memory,
# then the ratios of ours to theirs.
#   scripts/bench-sign.sh [MIB]      (default 512; a 16 MiB run is added to
#                                     show that memory does not follow the size)
# Both sides are measured the same way, as whole processes under
# /usr/bin/time; for Tavomir the operation's own time inside the process is
# shown too (a Wine process start costs a tenth of a second or more). The
# 32-bit deliverable runs where the kernel runs 32-bit code, else the 64-bit
# build of the same code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-512}
. "$root/scripts/bench-lib.sh"

heading
sign=(cms -sign -binary -md sha1 -noattr -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem")
for size in 16 "$mib"; do
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/in.bin"
    sync  # no write-back of the input during the timed runs
    ours "$size" "Tavomir F PKCS" F PKCS "$work/in.bin" "$work/out.b64"
    ours "$size" "Tavomir F PKCSD" F PKCSD "$work/in.bin" "$work/out.b64"
    ours "$size" "Tavomir FE PKCS" FE PKCS "$work/in.bin" "$work/out.b64" "$pki/recipient.cert.der"
    rm -f "$work/out.b64"
    theirs "$size" "openssl cms -nodetach" "${sign[@]}" -nodetach -outform DER -in "$work/in.bin" -out "$work/out.p7"
    theirs "$size" "openssl cms (detached)" "${sign[@]}" -outform DER -in "$work/in.bin" -out "$work/out.p7"
    theirs "$size" "openssl cms (detached) PEM" "${sign[@]}" -outform PEM -in "$work/in.bin" -out "$work/out.p7"
    # Base64 text, as "F" PKCS writes it.
    theirs "$size" "openssl cms -stream PEM" "${sign[@]}" -stream -nodetach -outform PEM -in "$work/in.bin" \
        -out "$work/out.p7"
    theirs "$size" "openssl cms -stream" "${sign[@]}" -stream -nodetach -outform DER -in "$work/in.bin" \
        -out "$work/out.p7"
    # "FE" against its nearest: sign, then envelope the signed message (DER).
    theirs "$size" "  then cms -encrypt -rc4" cms -encrypt -binary -provider legacy -provider default -rc4 \
        -outform PEM -in "$work/out.p7" -out "$work/out.env" "$pki/recipient.cert.pem"
    rm -f "$work/out.p7" "$work/out.env"
    ratio "$size" "Tavomir F PKCS" "openssl cms -stream PEM"
    ratio "$size" "Tavomir F PKCSD" "openssl cms (detached) PEM"
    ratio "$size" "Tavomir FE PKCS" "openssl cms -stream PEM" "  then cms -encrypt -rc4"
done
