#!/bin/bash
# Regenerates the dialogs' pictures of the documentation (docs/images/*.png,
# or the folder given) from the 64-bit Windows build under Wine, in a
# virtual display of the tests' size and with the test PKI's certificates.
#   scripts/screenshots.sh [FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win64"
out=$(mkdir -p "${1:-$root/docs/images}" && cd "${1:-$root/docs/images}" && pwd)
"$root/scripts/setup.sh" >/dev/null
cmake --build "$build" -j4 --target doc_screenshots
[ -f "$build/pki/signer.cert.der" ] ||
    ctest --test-dir "$build" -R '^pki_generate$' --output-on-failure >/dev/null
work="$build/testwork/doc_screenshots"
mkdir -p "$work"
export TAVOMIR_SOURCE_DIR="$root" TAVOMIR_PKI_DIR="$build/pki" TAVOMIR_WORK_DIR="$work" TAVOMIR_BUILD_DIR="$build"
export WINEPREFIX="$build/wineprefix"
trap 'wineserver -k 2>/dev/null || true' EXIT
cd "$work"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$root/scripts/wine-run.sh" "$WINEPREFIX" "$build/tests/screenshots/doc_screenshots.exe" "$out"
echo "screenshots: written to $out"
