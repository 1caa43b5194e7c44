#!/bin/bash
# Installs what a fresh Debian 12 machine needs and configures the builds.
# Idempotent: quick when everything is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(wine wine32:i386 wine64 libwine-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
          xvfb xauth openssl libssl-dev cmake ninja-build clang libgtest-dev googletest libgmp-dev file time bc python3
          faketime)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit Wine loader is a 32-bit Linux program. Where the kernel runs no
# 32-bit code, register qemu-user for it so the 32-bit deliverables can run.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ]; then
    dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || true
    if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >"$binfmt/register" || true
    fi
fi

configure() {  # build-dir [cmake args...]
    local dir=$1; shift
    [ -f "$dir/build.ninja" ] || cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
}
# Native: the crypto core and its tests under the sanitizers.
configure "$root/build/native" -DCMAKE_BUILD_TYPE=Debug
# Windows, 64-bit: the same sources, run under wine64 by the tests.
configure "$root/build/win64" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake"
# Windows, 32-bit: the deliverable DLLs.
configure "$root/build/win32" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"
# libFuzzer targets, built with clang.
CC=clang CXX=clang++ configure "$root/build/fuzz" -DTAVOMIR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "setup: ready"
