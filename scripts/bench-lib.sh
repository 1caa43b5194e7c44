# Shared set-up of scripts/bench-sign.sh, bench-verify.sh and
# bench-timestamp.sh, sourced with $root set: builds, test PKI, the signer
# installed as the configured certificate, a work folder removed on exit,
# measure(), and the rows of the engine's operations and of other programs.
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

# "seconds peak-KiB" of a whole host process, the fastest of BENCH_RUNS
# runs (default 2: the page cache and write-back make single runs noisy);
# that run's output to the file.
measure() {  # output-file command...
    local out=$1 best="" run seconds kib; shift
    for run in $(seq "${BENCH_RUNS:-2}"); do
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/run.out"
        read -r seconds kib <"$work/time"
        if [ -z "$best" ] || [ "$(echo "$seconds < ${best% *}" | bc -l)" = 1 ]; then
            best="$seconds $kib"
            cat "$work/run.out" >"$out"
        fi
    done
    echo "$best"
}

# One engine operation; fails the run unless its Message is "2".
engine() {  # OPERATION FORMAT INPUT OUTPUT [RECIPIENT] [FIELD=VALUE...]; prints "s ms KiB"
    local seconds kib ms message
    read -r seconds kib < <(measure "$work/bench.txt" "$root/scripts/wine-run.sh" "$TAVOMIR_WINEPREFIX" \
        "$build/bench/sign/tavomir_sign_bench.exe" "$@")
    read -r ms _ message <"$work/bench.txt"
    message=${message%$'\r'}
    [ "$message" = 2 ] || { echo "$* failed: $message" >&2; exit 1; }
    echo "$seconds $ms $kib"
}
heading() {
    echo "$arch build; $(nproc) cores"
    printf '%-6s %-30s %10s %12s %10s\n' MiB what "process s" "operation s" "peak KiB"
}
row() {  # size what seconds [operation-ms] kib
    local op=""; [ -n "$4" ] && op=$(printf '%.2f' "$(echo "$4 / 1000" | bc -l)")
    printf '%-6s %-30s %10.2f %12s %10s\n' "$1" "$2" "$3" "$op" "$5"
}
# The last row's times, kept by name for ratio(): seconds[NAME] is the
# whole process, operation[NAME] the engine's own time inside it.
declare -A seconds_of operation_of
ours() {  # size what engine-arguments...
    local size=$1 what=$2 seconds ms kib; shift 2
    read -r seconds ms kib < <(engine "$@")
    row "$size" "$what" "$seconds" "$ms" "$kib"
    seconds_of[$what]=$seconds
    operation_of[$what]=$(echo "$ms / 1000" | bc -l)
}
timed() {  # size what command...
    local size=$1 what=$2 seconds kib; shift 2
    # Its chatter ("Verification successful", a digest) is shown only on a failure.
    read -r seconds kib < <(measure /dev/null "$@" 2>"$work/command.err" ||
        { cat "$work/command.err" >&2; exit 1; })
    row "$size" "$what" "$seconds" "" "$kib"
    seconds_of[$what]=$seconds
}
# "ours / theirs" of two rows already printed: whole processes, and the
# operation's own time against the other whole process.
ratio() {  # size ours theirs...: more than one of theirs are summed
    local size=$1 mine=$2 theirs=0 name label=""; shift 2
    for name in "$@"; do
        theirs=$(echo "$theirs + ${seconds_of[$name]}" | bc -l)
        name=${name#"${name%%[! ]*}"}  # without the indent of a following step
        label=${label:+$label + }$name
    done
    [ "$(echo "$theirs > 0" | bc -l)" = 1 ] || theirs=0.01  # below the timer's resolution
    printf '%-6s %-30s %10.2f %12.2f   ratio to %s\n' "$size" "$mine" \
        "$(echo "${seconds_of[$mine]} / $theirs" | bc -l)" \
        "$(echo "${operation_of[$mine]:-${seconds_of[$mine]}} / $theirs" | bc -l)" "$label"
}
theirs() {  # size what openssl-arguments...
    local size=$1 what=$2; shift 2
    timed "$size" "$what" openssl "$@"
}
debase64() { tr -d '\r\n' <"$1" | base64 -d >"$2"; }
