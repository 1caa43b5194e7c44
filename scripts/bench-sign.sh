#!/bin/bash
# Times "F" PKCS, "F" PKCSD and "FE" over one large file under Wine, beside
# `openssl cms -sign -binary` on the same file: wall time and peak memory.
#   scripts/bench-sign.sh [MIB]      (default 512; a 16 MiB run is added to
#                                     show that memory does not follow the size)
# Both sides are measured the same way, as whole processes under
# /usr/bin/time; for Tavomir the operation's own time inside the process is
# shown too (a Wine process start costs seconds). The 32-bit deliverable runs
# where the kernel runs 32-bit code, else the 64-bit build of the same code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-512}
. "$root/scripts/bench-lib.sh"

echo "$arch build; $(nproc) cores"
printf '%-6s %-24s %12s %12s %12s\n' MiB what "process s" "operation s" "peak KiB"
for size in 16 "$mib"; do
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/in.bin"
    for op in "F PKCS" "F PKCSD" "FE PKCS"; do
        set -- $op
        extra=(); [ "$1" = FE ] && extra=("$pki/recipient.cert.der")
        read -r seconds kib < <(measure "$work/bench.txt" "$root/scripts/wine-run.sh" "$TAVOMIR_WINEPREFIX" \
            "$build/bench/sign/tavomir_sign_bench.exe" "$1" "$2" "$work/in.bin" "$work/out.b64" "${extra[@]}")
        read -r ms _ message <"$work/bench.txt"
        message=${message%$'\r'}
        [ "$message" = 2 ] || { echo "$op failed: $message" >&2; exit 1; }
        printf '%-6s %-24s %12.2f %12.2f %12s\n' "$size" "Tavomir $1 $2" "$seconds" "$(echo "$ms / 1000" | bc -l)" "$kib"
    done
    for mode in -nodetach ""; do
        read -r seconds kib < <(measure /dev/null openssl cms -sign -binary $mode -md sha1 -noattr -outform DER \
            -in "$work/in.bin" -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" -out "$work/out.p7")
        printf '%-6s %-24s %12.2f %12s %12s\n' "$size" "openssl cms ${mode:-(detached)}" "$seconds" "" "$kib"
    done
    read -r seconds kib < <(measure /dev/null openssl cms -sign -binary -stream -nodetach -md sha1 -noattr \
        -outform DER -in "$work/in.bin" -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" -out "$work/out.p7")
    printf '%-6s %-24s %12.2f %12s %12s\n' "$size" "openssl cms -stream" "$seconds" "" "$kib"
    # Base64 text, as "F" "PKCS" writes it.
    read -r seconds kib < <(measure /dev/null openssl cms -sign -binary -stream -nodetach -md sha1 -noattr \
        -outform PEM -in "$work/in.bin" -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" -out "$work/out.p7")
    printf '%-6s %-24s %12.2f %12s %12s\n' "$size" "openssl cms -stream PEM" "$seconds" "" "$kib"
done
