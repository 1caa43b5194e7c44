#!/usr/bin/env bash
# c_client_test.sh WINE_RUN PREFIX CLIENT_EXE PKI SOURCE WORK
# Runs the plain C client against the test TSA (`openssl ts -reply` behind
# tests/support/http_peer.py, started here and stopped by its pid).
set -u
wine_run=$1 prefix=$2 client=$3 pki=$4 source=$5 work=$6
mkdir -p "$work"
cd "$work" || exit 1
[ -f serial ] || echo 01 >serial

python3 "$source/tests/support/http_peer.py" --mode forward --content-type application/timestamp-reply \
    --lifetime 300 --command "TSA_SERIAL=$work/serial openssl ts -reply -config $pki/tsa/tsa.cnf \
-section tsa_sha1 -queryfile /dev/stdin -out /dev/stdout 2>/dev/null" </dev/null >peer.out 2>/dev/null &
for _ in $(seq 200); do
    [ "$(wc -l <peer.out)" -ge 2 ] && break
    sleep 0.05
done
port=$(sed -n 1p peer.out) peer=$(sed -n 2p peer.out)
[ -n "$peer" ] || { echo "the TSA did not start"; exit 1; }
trap 'kill $peer 2>/dev/null' EXIT

timeout 300 "$wine_run" "$prefix" "$client" "http://127.0.0.1:$port/tsa" "$pki/ca.cert.der"
