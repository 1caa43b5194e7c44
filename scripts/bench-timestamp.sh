#!/bin/bash
# Times "T" (a time stamp over a file from `openssl ts -reply` behind
# tests/support/http_peer.py on 127.0.0.1) and "V" (its check) under Wine,
# beside OpenSSL doing the same work on the same file: `openssl dgst -sha1`,
# `openssl ts -query` piped to the same reply command, and
# `openssl ts -verify` of our token. Wall time and peak memory of each whole
# process; for ours the operation's own time inside the process too.
#   scripts/bench-timestamp.sh [MIB...]     (default: 16 and 512)
# Every token "T" makes must pass `openssl ts -verify`. The 32-bit
# deliverable runs where the kernel runs 32-bit code, else the 64-bit build
# of the same code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=("$@"); [ ${#sizes[@]} -gt 0 ] || sizes=(16 512)
. "$root/scripts/bench-lib.sh"

[ -f "$pki/tsa/tsa.cnf" ] || bash "$root/tests/pki/make-tsa.sh" "$pki" >/dev/null
# The authority: one reply command, behind the peer for "T" and piped to for OpenSSL's query.
printf -v reply 'TSA_SERIAL=%q openssl ts -reply -config %q -section tsa_sha1 -queryfile /dev/stdin -out /dev/stdout' \
    "$work/tsa.serial" "$pki/tsa/tsa.cnf"
tsa=""
trap '[ -z "$tsa" ] || kill "$tsa" 2>/dev/null || true; cleanup' EXIT
python3 "$root/tests/support/http_peer.py" --mode forward --content-type application/timestamp-reply \
    --command "$reply 2>/dev/null" --lifetime 3600 </dev/null >"$work/tsa.log" 2>/dev/null &
tsa=$!
port=""
for _ in $(seq 200); do
    port=$(sed -n 1p "$work/tsa.log")
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { echo "the time-stamp authority did not start" >&2; exit 1; }

winpath() { printf 'Z:%s' "${1//\//\\}"; }
fixture reg-set USAR_TSP dword 1 >/dev/null
fixture reg-set URL_TSP sz "http://127.0.0.1:$port/tsa" >/dev/null
fixture reg-set USAR_AC dword 1 >/dev/null
fixture reg-set CERT_AC sz "$(winpath "$pki/ca.cert.der")" >/dev/null

heading
ca=$pki/ca.cert.pem
for size in "${sizes[@]}"; do
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/in.bin"
    ours "$size" "Tavomir T" T "" "$work/in.bin" "$work/token.b64"
    debase64 "$work/token.b64" "$work/token.der"
    openssl ts -verify -data "$work/in.bin" -in "$work/token.der" -token_in -CAfile "$ca" >/dev/null 2>"$work/verify.err" ||
        { echo "openssl ts -verify refuses the token of \"T\":" >&2; cat "$work/verify.err" >&2; exit 1; }
    # "V" writes nothing: its answer "2" is the check.
    ours "$size" "Tavomir V" V "" "$work/in.bin" NULL FileInputTwo="$work/token.b64"

    theirs "$size" "openssl dgst -sha1" dgst -sha1 "$work/in.bin"
    timed "$size" "openssl ts -query | ts -reply" bash -c \
        "openssl ts -query -data $(printf %q "$work/in.bin") -sha1 -cert | $reply >$(printf %q "$work/their.tsr")"
    openssl ts -reply -in "$work/their.tsr" -text 2>/dev/null | grep -q '^Status: Granted' ||
        { echo "the authority refused OpenSSL's query" >&2; exit 1; }
    theirs "$size" "openssl ts -verify" ts -verify -data "$work/in.bin" -in "$work/token.der" -token_in \
        -CAfile "$ca"
    rm -f "$work/in.bin" "$work"/token.* "$work/their.tsr"
done
