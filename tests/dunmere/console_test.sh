#!/usr/bin/env bash
# console_test.sh WINE_RUN PREFIX CONSOLE_EXE PKI WORK
# Drives ocsp_console.exe through piped standard input against `openssl
# ocsp` on 127.0.0.1 (started here, stopped by its pid) and checks what it
# prints and its exit code.
set -u
wine_run=$1 prefix=$2 console=$3 pki=$4 work=$5
mkdir -p "$work"
cd "$work" || exit 1
for f in signer recipient revoked ca; do cp "$pki/$f.cert.der" "$f.cert.der"; done
export OPENSSL_CONF=/dev/null

openssl ocsp -index "$pki/ocsp/index.txt" -CA "$pki/ca.cert.pem" -rsigner "$pki/ocsp/responder.cert.pem" \
    -rkey "$pki/ocsp/responder.key.pem" -rmd sha1 -ndays 1 -port 0 -ignore_err </dev/null >responder.log 2>&1 &
responder=$!
trap 'kill $responder 2>/dev/null' EXIT
port=
for _ in $(seq 200); do
    port=$(sed -n 's/^ACCEPT .*:\([0-9]*\) PID=.*/\1/p' responder.log)
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { echo "responder did not start"; cat responder.log; exit 1; }

failures=0
# expect NAME EXIT_CODE TEXT... : the run's output must hold every text.
expect() {
    local name=$1 code=$2 actual=$3; shift 3
    if [ "$actual" != "$code" ]; then echo "$name: exit code $actual, expected $code"; failures=$((failures + 1)); fi
    for text in "$@"; do
        if ! grep -qF -- "$text" "$name.out"; then
            echo "$name: missing \"$text\""; failures=$((failures + 1))
        fi
    done
}
run() { # run NAME INPUT [URL]
    local name=$1 input=$2; shift 2
    printf '%b' "$input" | timeout 120 "$wine_run" "$prefix" "$console" "$@" >"$name.out" 2>"$name.err"
}

run statuses 'signer.cert.der\nca.cert.der\ns\nrevoked.cert.der\nca.cert.der\nn\n' "http://127.0.0.1:$port/"
expect statuses 0 $? "Nombre del archivo con el certificado por verificar con OCSP: " \
    "Nombre del archivo con el certificado de la AC emisora: " \
    "Incluir otro certificado en la peticion OCSP? (s/n): " \
    "Estatus de Revocacion: OK " "Estatus de Revocacion: REVOCADO " "Fecha de revocacion: 20240601120000Z" \
    " .......................... "

run unknown 'recipient.cert.der\nca.cert.der\nn\n' "http://127.0.0.1:$port/"
expect unknown 0 $? "Estatus de Revocacion: DESCONOCIDO "

run missing 'missing.der\n'
expect missing 1 $? "No se puede abrir el archivo missing.der para lectura." \
    "Error al cargar los datos, el programa terminara"

run notcert 'responder.log\n'
expect notcert 1 $? "Error al decodificar el certificado en responder.log"

rm -f request.der
run offline 'signer.cert.der\nca.cert.der\nn\nrequest.der\nnoanswer.der\n'
expect offline 2 $? "Nombre del archivo donde se escribira el mensaje OCSP: " \
    "Nombre del archivo donde se encuentra la respuesta: " "No se puede abrir el archivo noanswer.der para lectura."
openssl ocsp -reqin request.der -req_text >request.txt 2>&1
for text in "Serial Number: 1002" "OCSP Nonce"; do
    grep -qF "$text" request.txt || { echo "offline: request lacks \"$text\""; failures=$((failures + 1)); }
done

ten=$(for i in $(seq 10); do printf 'signer.cert.der\\nca.cert.der\\ns\\n'; done)
run ten "$ten" "http://127.0.0.1:$port/"
expect ten 0 $? "Numero maximo de certificados excedido " "Se armara la peticion OCSP con los certificados incluidos "
[ "$(grep -o 'Estatus de Revocacion: OK' ten.out | wc -l)" = 10 ] || { echo "ten: not ten statuses"; failures=$((failures + 1)); }

[ $failures = 0 ] && echo "console: all checks passed"
exit $((failures > 0))
