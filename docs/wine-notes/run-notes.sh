#!/usr/bin/env bash
# run-notes.sh PKI_DIR [OUTDIR] - build the programs of docs/wine-notes.md with
# the 64-bit mingw compiler and run each under wine64, printing its output.
# WINEPREFIX defaults to the tests' prefix, build/win64/wineprefix.  PKI_DIR is a folder made by
# tests/pki/make-pki.sh (the PKCS#12 programs read signer.p12; the token
# programs read tokens that openssl ts makes here with its tsa key).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pki=${1:?usage: run-notes.sh PKI_DIR [OUTDIR]}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
# winedbg disabled: an unimplemented function would print a long crash dump.
export WINEPREFIX=${WINEPREFIX:-$here/../../build/win64/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
password=$(sed -n 's/^PKI_PASSWORD=//p' "$pki/pki.env")

# Time-stamp tokens of the PKI's TSA, signed with SHA-1 and with SHA-256.
echo data >"$out/token-data.txt"
OPENSSL_CONF=/dev/null openssl ts -query -data "$out/token-data.txt" -sha256 -cert -out "$out/token.tsq" 2>/dev/null
for digest in sha1 sha256; do
    printf '%s\n' "[ tsa ]" "default_tsa = tsa_config" "[ tsa_config ]" "serial = $out/token.serial" \
        "crypto_device = builtin" "signer_cert = $pki/tsa.cert.pem" "signer_key = $pki/tsa.key.pem" \
        "signer_digest = $digest" "default_policy = 1.2.3.4.1" "digests = sha1, sha256" \
        "ess_cert_id_chain = no" >"$out/token-$digest.cnf"
    echo 01 >"$out/token.serial"
    OPENSSL_CONF=/dev/null openssl ts -reply -config "$out/token-$digest.cnf" -queryfile "$out/token.tsq" \
        -token_out -out "$out/token-$digest.der" 2>/dev/null || echo "(openssl made no $digest token)"
done

gcc -o "$out/ia32_probe" "$here/ia32_probe.c" && { echo "== ia32_probe (Linux)"; "$out/ia32_probe"; echo "exit $?"; }
for src in "$here"/*.c; do
    name=$(basename "$src" .c)
    [ "$name" = ia32_probe ] && continue
    x86_64-w64-mingw32-gcc -std=c99 -Wall -Wextra -O1 -static -o "$out/$name.exe" "$src" -lcrypt32 -ladvapi32 || exit 1
    echo "== $name"
    case $name in
        pfx_*) runs=("$pki/signer.p12 $password") ;;
        store_close) runs=(write check) ;;  # two processes
        msg_store_provider|msg_tstinfo_content) runs=("$out/token-sha1.der") ;;
        msg_sha256_provider) runs=("$out/token-sha1.der $out/token-sha256.der") ;;
        fclose_flush)  # a full disk: a small file system of its own, filled (needs mount)
            full="$out/full"; mkdir -p "$full"
            if mountpoint -q "$full" || mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
                dd if=/dev/zero of="$full/filler" bs=1024 2>/dev/null
                runs=("$full/out.txt")
            else
                echo "(no small file system can be mounted here)"; continue
            fi ;;
        *) runs=("") ;;
    esac
    for args in "${runs[@]}"; do
        # shellcheck disable=SC2086
        timeout 120 /usr/lib/wine/wine64 "$out/$name.exe" $args 2>&1
        echo "exit $?"
    done
done
