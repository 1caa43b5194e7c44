#!/usr/bin/env bash
# shared_heap_check.sh OBJDUMP DLL... - each DLL imports malloc and free
# from msvcrt.dll, the heap every deliverable shares.
set -u
objdump=$1; shift
failures=0
for dll in "$@"; do
    imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ { dll = tolower($3) } dll == "msvcrt.dll" && NF == 3 { print $3 }')
    for name in malloc free; do
        if ! grep -qx "$name" <<<"$imports"; then
            echo "$(basename "$dll"): $name is not imported from msvcrt.dll"
            failures=$((failures + 1))
        fi
    done
done
exit $((failures > 0))
