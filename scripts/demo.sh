#!/bin/bash
# The main job end to end: registers TavomirCOM in a Wine prefix with
# regsvr32, installs a demo signer as the configured certificate, signs a
# sample file with examples/sign.js under Wine's cscript (attached, detached,
# raw and enveloped), lets the host's OpenSSL verify each result, then opens
# and verifies them through the object with examples/verify.js (a CRL
# configured) and sees a message of a revoked signer refused by the CRL;
# then verifies with OCSP against `openssl ocsp` on 127.0.0.1 (started and
# stopped here), keeps the answer, checks it with "OCSP" and with OpenSSL,
# and sees the revoked signer refused by the responder; then time-stamps the
# sample with examples/timestamp.js against `openssl ts -reply` behind
# tests/support/http_peer.py on 127.0.0.1 (started and stopped here), which
# also checks the stamp with "V", and lets `openssl ts -verify` check it.
#
#   scripts/demo.sh
#
# The deliverable is the i686 build under 32-bit Wine; where the kernel runs
# no 32-bit code (docs/wine-notes.md, note 11) the x86_64 build of the same
# sources runs under wine64 instead (TAVOMIR_DEMO_ARCH=win32 or win64 chooses).
# Work files go to build/demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Wine's windows want a display: without one, run again inside Xvfb.
if [ -z "${TAVOMIR_DEMO_DISPLAY:-}" ]; then
    "$root/scripts/setup.sh"
    if [ -z "${DISPLAY:-}" ]; then
        export TAVOMIR_DEMO_DISPLAY=1
        exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
    fi
fi

demo=$root/build/demo
mkdir -p "$demo"

# Does the kernel run 32-bit x86 code itself (not through an emulator)?
clang -o "$demo/ia32_probe" "$root/docs/wine-notes/ia32_probe.c"
if [ -n "${TAVOMIR_DEMO_ARCH:-}" ]; then
    arch=$TAVOMIR_DEMO_ARCH
    echo "demo: $arch as TAVOMIR_DEMO_ARCH says"
elif ("$demo/ia32_probe" >/dev/null; exit $?) 2>/dev/null; then
    arch=win32
    echo "demo: the kernel runs 32-bit code: the i686 deliverable under 32-bit Wine"
else
    arch=win64
    echo "demo: this kernel runs no 32-bit code: the x86_64 build of the same sources under wine64"
fi
case $arch in win32|win64) ;; *) echo "demo: TAVOMIR_DEMO_ARCH must be win32 or win64" >&2; exit 2 ;; esac
build=$root/build/$arch
cmake --build "$build" --target TavomirCOM tavomir_fixture

export WINEPREFIX=$demo/wineprefix-$arch
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
run() { "$root/scripts/wine-run.sh" "$WINEPREFIX" "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
setting() { run "$build/tools/fixture/tavomir_fixture.exe" reg-set "$@"; }
# The port a server of ours names in its log (the sed script finds it),
# waited for up to 10 seconds; empty when it never comes.
port_in_log() {
    local found=
    for _ in $(seq 200); do
        found=$(sed -n "$2" "$1")
        [ -n "$found" ] && break
        sleep 0.05
    done
    printf '%s' "$found"
}
# Initialises the prefix on first use.
run "$build/tools/fixture/tavomir_fixture.exe" list >/dev/null
if [ "$arch" = win32 ]; then system=$WINEPREFIX/drive_c/windows/syswow64; else system=$WINEPREFIX/drive_c/windows/system32; fi

echo "== regsvr32 TavomirCOM.dll"
run "$system/regsvr32.exe" /s "$(winpath "$build/signer/TavomirCOM.dll")"

echo "== test PKI and the demo signer"
pki=$demo/pki
bash "$root/tests/pki/make-pki.sh" "$pki" >/dev/null
thumbprint=$(run "$build/tools/fixture/tavomir_fixture.exe" install \
    "$(winpath "$pki/signer.cert.der")" "$(winpath "$pki/signer.key.pk1.der")" | tr -d '\r\n')
echo "signer $thumbprint installed in MY"
setting USAR_CERT dword 1
setting USER_CERT binary "$thumbprint"

echo "== cscript examples/sign.js"
out=$demo/out
rm -rf "$out"
mkdir -p "$out"
# The sample, and the signer as the envelope's recipient so that it opens again.
data=$demo/data
rm -rf "$data"
mkdir -p "$data"
cp "$pki/message.txt" "$pki/signer.cert.der" "$data/"
cp "$pki/signer.cert.der" "$data/recipient.cert.der"
status=0
# Wine's console writes the OEM code page (pipefail keeps cscript's status).
run "$system/cscript.exe" //Nologo "$(winpath "$root/examples/sign.js")" "$(winpath "$data")" "$(winpath "$out")" |
    iconv -f CP437 -t UTF-8 || status=1

echo "== OpenSSL checks"
check() {  # title command...
    local title=$1; shift
    if "$@" >"$out/check.log" 2>&1; then
        echo "$title: verified"
    else
        echo "$title: FAILED"; sed 's/^/    /' "$out/check.log"; status=1
    fi
}
decode() { [ -f "$1" ] && tr -d '\r\n' <"$1" | base64 -d >"$2"; }
ca=$pki/ca.cert.pem
message=$pki/message.txt
check "attached (message.p7m)" sh -c "$(declare -f decode); decode '$out/message.p7m' '$out/message.p7m.der' &&
    openssl cms -verify -inform DER -binary -CAfile '$ca' -in '$out/message.p7m.der' -out '$out/attached.txt' &&
    cmp '$out/attached.txt' '$message'"
check "detached (message.p7s)" sh -c "$(declare -f decode); decode '$out/message.p7s' '$out/message.p7s.der' &&
    openssl cms -verify -inform DER -binary -CAfile '$ca' -in '$out/message.p7s.der' -content '$message' -out /dev/null"
check "raw RSA (message.sig)" sh -c "openssl x509 -in '$pki/signer.cert.pem' -pubkey -noout >'$out/signer.pub.pem' &&
    openssl dgst -sha1 -verify '$out/signer.pub.pem' -signature '$out/message.sig' '$message'"
check "enveloped (message.env.p7m)" sh -c "$(declare -f decode); decode '$out/message.env.p7m' '$out/message.env.der' &&
    openssl cms -decrypt -provider legacy -provider default -inform DER -in '$out/message.env.der' \
        -recip '$pki/signer.cert.pem' -inkey '$pki/signer.key.pem' -out '$out/inner.der' &&
    openssl cms -verify -inform DER -binary -CAfile '$ca' -in '$out/inner.der' -out '$out/enveloped.txt' &&
    cmp '$out/enveloped.txt' '$message'"

echo "== cscript examples/verify.js (CRL configured)"
# The prefix keeps the settings of an earlier run: OCSP and the CA come later.
setting USAR_OCSP dword 0
setting USAR_AC dword 0
setting USAR_CRL dword 1
setting CRL sz "$(winpath "$pki/ca.crl.der")"
run "$system/cscript.exe" //Nologo "$(winpath "$root/examples/verify.js")" "$(winpath "$data")" "$(winpath "$out")" |
    iconv -f CP437 -t UTF-8 || status=1

echo "== a revoked signer, refused by the CRL"
cat >"$out/revoked.js" <<'JS'
var tavomir = new ActiveXObject("TavomirCOM.Tavomir");
tavomir.Operation = "A";
tavomir.TypeOne = "F";
tavomir.FileInputOne = WScript.Arguments(0);
var ok = tavomir.Execute();
WScript.Echo("revoked signer (A, F): Execute " + ok + ", Message " + tavomir.Message.replace(/\r\n/g, " | "));
var expected = WScript.Arguments.length > 1
    ? "1\r\nEl Certificado del firmante esta Revocado: Certificado Revocado : 20240601120000Z"
    : "1\r\nEl Certificado del firmante esta Revocado";
WScript.Quit(!ok && tavomir.Message == expected ? 0 : 1);
JS
run "$system/cscript.exe" //Nologo "$(winpath "$out/revoked.js")" "$(winpath "$pki/messages/att.revoked.der")" |
    iconv -f CP437 -t UTF-8 || status=1
echo "== OCSP: openssl ocsp on 127.0.0.1"
# Verifies with the answer kept, then checks the kept answer with "OCSP" for the signer.
cat >"$out/ocsp.js" <<'JS'
var tavomir = new ActiveXObject("TavomirCOM.Tavomir");
var failed = 0;
var steps = [["verified, the answer kept (A, F)", {Operation: "A", TypeOne: "F", FileInputOne: WScript.Arguments(0),
              FileOutputOne: "NULL", OCSPFileOne: WScript.Arguments(1)}],
             ["the kept answer, for the signer (OCSP)", {Operation: "OCSP", FileInputOne: WScript.Arguments(1),
              FileCert: WScript.Arguments(2)}]];
for (var i = 0; i < steps.length; i++) {
    tavomir.Clear();
    for (var name in steps[i][1]) tavomir[name] = steps[i][1][name];
    var ok = tavomir.Execute();
    if (!ok) failed++;
    WScript.Echo(steps[i][0] + ": Execute " + ok + ", Message " + tavomir.Message.replace(/\r\n/g, " | "));
}
WScript.Quit(failed);
JS
bash "$root/tests/pki/make-ocsp.sh" "$pki" >/dev/null
OPENSSL_CONF=/dev/null openssl ocsp -index "$pki/ocsp/index.txt" -CA "$pki/ca.cert.pem" \
    -rsigner "$pki/ocsp/responder.cert.pem" -rkey "$pki/ocsp/responder.key.pem" -rmd sha1 -ndays 1 -port 0 \
    -ignore_err </dev/null >"$out/responder.log" 2>&1 &
responder=$!
trap 'kill $responder 2>/dev/null; wineserver -k >/dev/null 2>&1 || true' EXIT
port=$(port_in_log "$out/responder.log" 's/^ACCEPT .*:\([0-9]*\) PID=.*/\1/p')
if [ -z "$port" ]; then
    echo "OCSP responder did not start"; status=1
else
    setting USAR_AC dword 1
    setting CERT_AC sz "$(winpath "$pki/ca.cert.der")"
    setting USAR_OCSP dword 1
    setting URL_OCSP sz "http://127.0.0.1:$port/"
    run "$system/cscript.exe" //Nologo "$(winpath "$out/ocsp.js")" "$(winpath "$out/message.p7m")" \
        "$(winpath "$out/message.ocsp")" "$(winpath "$pki/signer.cert.der")" | iconv -f CP437 -t UTF-8 || status=1
    check "kept OCSP answer (message.ocsp)" sh -c "$(declare -f decode); decode '$out/message.ocsp' '$out/message.ocsp.der' &&
        openssl ocsp -respin '$out/message.ocsp.der' -CAfile '$ca' -issuer '$ca' -cert '$pki/signer.cert.pem' -no_nonce |
        grep -q ': good'"
    run "$system/cscript.exe" //Nologo "$(winpath "$out/revoked.js")" "$(winpath "$pki/messages/att.revoked.der")" \
        "OCSP" | iconv -f CP437 -t UTF-8 || status=1
    kill "$responder" 2>/dev/null || true
fi

echo "== time stamp: openssl ts -reply on 127.0.0.1"
bash "$root/tests/pki/make-tsa.sh" "$pki" >/dev/null
tsa_command="TSA_SERIAL=$out/tsa.serial openssl ts -reply -config $pki/tsa/tsa.cnf -section tsa_sha1"
tsa_command+=" -queryfile /dev/stdin -out /dev/stdout 2>/dev/null"
python3 "$root/tests/support/http_peer.py" --mode forward --content-type application/timestamp-reply \
    --command "$tsa_command" --lifetime 600 </dev/null >"$out/tsa.log" 2>/dev/null &
tsa=$!
trap 'kill $responder $tsa 2>/dev/null; wineserver -k >/dev/null 2>&1 || true' EXIT
tsa_port=$(port_in_log "$out/tsa.log" 1p)
if [ -z "$tsa_port" ]; then
    echo "time-stamp authority did not start"; status=1
else
    setting USAR_AC dword 1
    setting CERT_AC sz "$(winpath "$pki/ca.cert.der")"
    setting USAR_TSP dword 1
    setting URL_TSP sz "http://127.0.0.1:$tsa_port/tsa"
    run "$system/cscript.exe" //Nologo "$(winpath "$root/examples/timestamp.js")" "$(winpath "$data/message.txt")" \
        "$(winpath "$out/message.tsr")" | iconv -f CP437 -t UTF-8 || status=1
    check "time stamp (message.tsr)" sh -c "$(declare -f decode); decode '$out/message.tsr' '$out/message.tsr.der' &&
        openssl ts -verify -data '$message' -in '$out/message.tsr.der' -token_in -CAfile '$ca' \
            -untrusted '$pki/tsa.cert.pem'"
    kill "$tsa" 2>/dev/null || true
fi
[ $status -eq 0 ] && echo "demo: every result verified" || echo "demo: some results did not verify"
exit $status
