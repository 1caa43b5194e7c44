#!/usr/bin/env bash
# make-messages.sh PKIDIR - PKCS#7 messages and raw signatures made by the
# OpenSSL command line from the test PKI, for the verifying operations.
# Written into PKIDIR/messages/:
#   content.bin                  20000 bytes the messages carry (several blocks)
#   att.sha1.noattr.der          signer, SHA-1, no signed attributes, attached
#   att.sha256.der               signer, SHA-256, signed attributes, attached
#   att.sha256.b64               the same as bare base64 lines (first char 'M')
#   att.stream.der               signer, -stream: indefinite-length BER
#   att.two.der                  signer and signer2 (signer 0 is the first in
#                                the DER-sorted SET)
#   att.nocerts.der              signer, certificate left out (-nocerts)
#   att.revoked.der att.other.der  signed by "revoked" / by "other" (another CA)
#   att.utf8.der                 signed by a certificate of ca whose subject is UTF8String
#   att.tampered.der             att.sha256.der with one content byte changed
#   det.sha256.der det.sha1.noattr.der  detached over content.bin
#   det.sha256.b64               the detached one as bare base64
#   det.big.der                  detached, carrying every PKI certificate: over 8192 bytes
#   att.certs40.der det.certs40.der  signer and 40 more certificates: over 32 KB of them
#   att.certs300.der env.certs300.der  signer and 300 more (env: enveloped for signer)
#   env.rc4.der env.3des.der     att.sha256.der enveloped for signer (RC4 / 3DES)
#   env.rc4.b64                  the RC4 one as bare base64, as "FE" writes it
#   env.other.der                enveloped for "recipient", not for signer
#   env.unsigned.der             content.bin enveloped without a signature
#   raw.be.sig raw.le.sig        signer's SHA-1 signature of content.bin, both byte orders
#   signer.cert.b64              signer's certificate as bare base64
set -euo pipefail

pki=$(cd "$1" && pwd)
out=$pki/messages
rm -rf "$out"
mkdir -p "$out"
export OPENSSL_CONF=/dev/null

run() { openssl "$@" </dev/null 2>"$out/.err" || { echo "make-messages.sh: openssl $1 failed:" >&2; cat "$out/.err" >&2; exit 1; }; }
b64() { base64 -w 64 "$1" >"$2"; }
sign() { # NAME OUT extra...
    local name=$1 o=$2 dir=$pki; shift 2
    [ -f "$dir/$name.cert.pem" ] || dir=$out
    run cms -sign -binary -in "$out/content.bin" -signer "$dir/$name.cert.pem" -inkey "$dir/$name.key.pem" \
        -outform DER -out "$out/$o" "$@"
}

head -c 20000 /dev/urandom >"$out/content.bin"

sign signer att.sha1.noattr.der -nodetach -md sha1 -noattr
sign signer att.sha256.der -nodetach -md sha256
b64 "$out/att.sha256.der" "$out/att.sha256.b64"
sign signer att.stream.der -nodetach -md sha256 -stream
run cms -sign -binary -in "$out/content.bin" -nodetach -md sha256 -outform DER -out "$out/att.two.der" \
    -signer "$pki/signer.cert.pem" -inkey "$pki/signer.key.pem" \
    -signer "$pki/signer2.cert.pem" -inkey "$pki/signer2.key.pem"
sign signer att.nocerts.der -nodetach -md sha256 -nocerts
sign revoked att.revoked.der -nodetach -md sha256
sign other att.other.der -nodetach -md sha256
# Without a configuration OpenSSL writes names as UTF8String.
run genrsa -out "$out/utf8.key.pem" 1024
run req -new -key "$out/utf8.key.pem" -subj "/C=ES/O=Norvane Test/CN=Tavomir UTF8 Signer" -out "$out/utf8.csr"
run x509 -req -in "$out/utf8.csr" -CA "$pki/ca.cert.pem" -CAkey "$pki/ca.key.pem" -set_serial 0x1010 -days 3650 \
    -out "$out/utf8.cert.pem"
sign utf8 att.utf8.der -nodetach -md sha256
rm -f "$out/utf8.csr"
# One content byte changed: the last byte of the 20000-byte content sits just
# before the certificates, found by searching for it.
python3 - "$out/content.bin" "$out/att.sha256.der" "$out/att.tampered.der" <<'PY'
import sys
content = open(sys.argv[1], 'rb').read()
message = bytearray(open(sys.argv[2], 'rb').read())
at = message.find(content[-64:]) + 63
message[at] ^= 0x01
open(sys.argv[3], 'wb').write(message)
PY

sign signer det.sha256.der -md sha256
sign signer det.sha1.noattr.der -md sha1 -noattr
b64 "$out/det.sha256.der" "$out/det.sha256.b64"
ls "$pki"/*.cert.pem | grep -v "/signer.cert.pem" | xargs cat >"$out/all.pem"
sign signer det.big.der -md sha256 -certfile "$out/all.pem"
rm -f "$out/all.pem"

# Bundles of self-signed certificates sharing one key, each of its own name.
run genrsa -out "$out/extra.key.pem" 2048
for i in $(seq 1 300); do
    run req -x509 -new -key "$out/extra.key.pem" -subj "/CN=Extra certificate $i" -days 30 -out "$out/extra.pem"
    cat "$out/extra.pem" >>"$out/extra300.pem"
    [ "$i" -le 40 ] && cat "$out/extra.pem" >>"$out/extra40.pem"
done
sign signer att.certs40.der -nodetach -md sha256 -certfile "$out/extra40.pem"
sign signer det.certs40.der -md sha256 -certfile "$out/extra40.pem"
sign signer att.certs300.der -nodetach -md sha256 -certfile "$out/extra300.pem"
rm -f "$out"/extra*.pem

envelope() { # CIPHER RECIPIENT IN OUT
    run cms -encrypt -binary -provider legacy -provider default "-$1" -in "$3" -outform DER -out "$out/$4" \
        "$pki/$2.cert.pem"
}
envelope rc4 signer "$out/att.sha256.der" env.rc4.der
b64 "$out/env.rc4.der" "$out/env.rc4.b64"
envelope des3 signer "$out/att.sha256.der" env.3des.der
envelope des3 recipient "$out/att.sha256.der" env.other.der
envelope des3 signer "$out/content.bin" env.unsigned.der
envelope des3 signer "$out/att.certs300.der" env.certs300.der

run dgst -sha1 -sign "$pki/signer.key.pem" -out "$out/raw.be.sig" "$out/content.bin"
python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); open(sys.argv[2],"wb").write(d[::-1])' \
    "$out/raw.be.sig" "$out/raw.le.sig"
b64 "$pki/signer.cert.der" "$out/signer.cert.b64"
rm -f "$out/.err"
