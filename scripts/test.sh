#!/bin/bash
# Builds everything and runs every test: native (sanitizers), short fuzz runs,
# then the Windows build under Wine inside one virtual display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" || exit 1
jobs=$(nproc)
for b in native win64 win32 fuzz; do
    echo "== build $b"
    cmake --build "$root/build/$b" -j "$jobs" || exit 1
done
status=0
echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs" || status=1
echo "== fuzz (fixed seed, bounded runs)"
"$root/scripts/fuzz.sh" --ci "$root/build/fuzz" || status=1
echo "== Windows tests under Wine"
export WINEPREFIX="$root/build/win64/wineprefix"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$root/build/win64" --output-on-failure -j 4 || status=1
# The 32-bit deliverable build of the same code, in the same prefix: every
# suite where the kernel runs 32-bit code; where it runs only emulated, each
# process start costs most of a minute, so only the core suite.
ia32_probe="$root/build/ia32_probe"
clang -o "$ia32_probe" "$root/docs/wine-notes/ia32_probe.c" 2>/dev/null
if ("$ia32_probe" >/dev/null; exit $?) 2>/dev/null && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "== 32-bit Windows build under Wine (every suite)"
    TAVOMIR_WINEPREFIX="$WINEPREFIX" xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "$root/build/win32" --output-on-failure -j 4 || status=1
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "== 32-bit Windows build under emulated Wine (core suite)"
    TAVOMIR_WINEPREFIX="$WINEPREFIX" xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "$root/build/win32" --output-on-failure -R '^core_tests$' || status=1
else
    echo "== 32-bit Windows build: not run (this machine runs no 32-bit code)"
fi
exit $status
