# Shared set-up of scripts/bench-sign.sh and bench-verify.sh, sourced with
# $root set: builds, test PKI, the signer installed as the configured
# certificate, a work folder removed on exit, and measure().
"$root/scripts/setup.sh"
arch=win64
clang -o "$root/build/ia32_probe" "$root/docs/wine-notes/ia32_probe.c" 2>/dev/null
if ("$root/build/ia32_probe" >/dev/null; exit $?) 2>/dev/null && /usr/lib/wine/wine --version >/dev/null 2>&1; then arch=win32; fi
build="$root/build/$arch"
cmake --build "$build" --target tavomir_sign_bench tavomir_fixture >/dev/null
pki="$build/pki"
[ -f "$pki/pki.env" ] || bash "$root/tests/pki/make-pki.sh" "$pki" >/dev/null
export TAVOMIR_WINEPREFIX="${TAVOMIR_WINEPREFIX:-$root/build/win64/wineprefix}"
run() { "$root/scripts/wine-run.sh" "$TAVOMIR_WINEPREFIX" "$@"; }
fixture() { run "$build/tools/fixture/tavomir_fixture.exe" "$@"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavomir-bench.XXXXXX")
thumb=""
cleanup() {
    if [ -n "$thumb" ]; then
        fixture reg-clear >/dev/null 2>&1 || true
        fixture remove "$thumb" >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
thumb=$(fixture install "$pki/signer.cert.der" "$pki/signer.key.pk1.der" | tr -d '\r')
fixture reg-set USAR_CERT dword 1 >/dev/null
fixture reg-set USER_CERT binary "$thumb" >/dev/null

# "seconds peak-KiB" of a whole host process; its output to the file.
measure() {  # output-file command...
    local out=$1; shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$out"
    cat "$work/time"
}
