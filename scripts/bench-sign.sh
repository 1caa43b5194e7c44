#!/bin/bash
# Times "F" PKCS, "F" PKCSD and "FE" over one large file under Wine, beside
# `openssl cms -sign -binary` on the same file: wall time and peak memory.
#   scripts/bench-sign.sh [MIB]      (default 512; a 16 MiB run is added to
#                                     show that memory does not follow the size)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-512}
"$root/scripts/setup.sh"
build="$root/build/win64"
cmake --build "$build" --target tavomir_sign_bench tavomir_fixture >/dev/null
pki="$build/pki"
[ -f "$pki/pki.env" ] || bash "$root/tests/pki/make-pki.sh" "$pki" >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/tavomir-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TAVOMIR_WINEPREFIX="${TAVOMIR_WINEPREFIX:-$build/wineprefix}"
run() { "$root/scripts/wine-run.sh" "$TAVOMIR_WINEPREFIX" "$@"; }

thumb=$(run "$build/tools/fixture/tavomir_fixture.exe" install "$pki/signer.cert.der" "$pki/signer.key.pk1.der" | tr -d '\r')
run "$build/tools/fixture/tavomir_fixture.exe" reg-set USAR_CERT dword 1 >/dev/null
run "$build/tools/fixture/tavomir_fixture.exe" reg-set USER_CERT binary "$thumb" >/dev/null

# Peak resident memory (KiB) and wall seconds of a host command.
measure() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
        cat "$work/time"
    else
        local s; s=$(date +%s.%N); "$@" >/dev/null; echo "$(echo "$(date +%s.%N) - $s" | bc) ?"
    fi
}

printf '%-8s %-22s %10s %14s\n' MiB what seconds "peak KiB"
for size in 16 "$mib"; do
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/in.bin"
    for op in "F PKCS" "F PKCSD" "FE PKCS"; do
        set -- $op
        extra=(); [ "$1" = FE ] && extra=("$pki/recipient.cert.der")
        # Inside the process: the operation alone and the process's peak working set.
        read -r ms kib message < <(run "$build/bench/sign/tavomir_sign_bench.exe" "$1" "$2" "$work/in.bin" \
                                       "$work/out.b64" "${extra[@]}" | tr -d '\r')
        [ "$message" = 2 ] || { echo "$op failed: $message" >&2; exit 1; }
        printf '%-8s %-22s %10.2f %14s\n' "$size" "Tavomir $1 $2" "$(echo "$ms / 1000" | bc -l)" "$kib"
    done
    for mode in -nodetach ""; do
        read -r seconds kib < <(measure openssl cms -sign -binary $mode -md sha1 -noattr -outform DER \
            -in "$work/in.bin" -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" -out "$work/out.p7")
        printf '%-8s %-22s %10.2f %14s\n' "$size" "openssl cms ${mode:-(detached)}" "$seconds" "$kib"
    done
    for mode in -nodetach; do
        read -r seconds kib < <(measure openssl cms -sign -binary -stream $mode -md sha1 -noattr -outform DER \
            -in "$work/in.bin" -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" -out "$work/out.p7")
        printf '%-8s %-22s %10.2f %14s\n' "$size" "openssl cms -stream" "$seconds" "$kib"
    done
done
run "$build/tools/fixture/tavomir_fixture.exe" reg-clear >/dev/null
run "$build/tools/fixture/tavomir_fixture.exe" remove "$thumb" >/dev/null || true
