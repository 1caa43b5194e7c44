#!/usr/bin/env bash
# make-fixtures.sh - regenerate the serial-number certificates of this folder.
#
# Self-signed 1024-bit RSA, sha1WithRSAEncryption, PrintableString names.
# serials.txt: one line per certificate, "FILE SERIAL", SERIAL being what
# `openssl x509 -serial -noout` prints for it (upper-case hex).
set -euo pipefail
cd "$(dirname "$0")"
cnf=../../pki/pki.cnf
export PKI_CA_DIR=.  # the CA section of the file is not used here
key=$(mktemp)
trap 'rm -f "$key"' EXIT
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out "$key" 2>/dev/null

ascii_hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

# FILE SERIAL-HEX CN
make() {
    openssl req -x509 -new -config "$cnf" -key "$key" -sha1 -days 3650 \
        -set_serial "0x$2" -subj "/C=ES/O=Norvane Test/CN=$3" -outform DER -out "$1.der"
    echo "$1.der $(openssl x509 -inform DER -in "$1.der" -noout -serial | sed 's/^serial=//')"
}

{
    make short 0100FF "Serie corta"
    make topbit 80 "Serie con bit alto"
    make random20 5D3A91C07E24B8F6A1D9034C6E7F1B2A8C95D4E3 "Serie aleatoria"
    make text20 "$(ascii_hex 'TAVOMIR SERIE 000042')" "Serie de texto"
    make text21 "$(ascii_hex 'TAVOMIR SERIE 0000421')" "Serie de texto largo"
    make digits20 "$(ascii_hex '00001000000504465028')" "Prueba, Tavomir"
    make hexdigits20 "$(ascii_hex '1234567890ABCDEF1234')" "Serie de cifras hex"
    make hex10 1234567890ABCDEF1234 "Serie de diez bytes"
    make lower20 "$(ascii_hex 'tavomir serie 000042')" "Serie en minusculas"
    make zero20 "$(ascii_hex 'TAVOMIR')00$(ascii_hex 'SERIE 000042')" "Serie con cero"
} >serials.txt
