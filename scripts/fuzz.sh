#!/bin/bash
# Runs every fuzz target from its seed corpus:
#   scripts/fuzz.sh [SECONDS] [BUILD_DIR]   random run of SECONDS each (default 300)
#   scripts/fuzz.sh --ci [BUILD_DIR]        fixed seed and run count: the same tree
#                                           answers the same (what scripts/test.sh runs)
# A target whose every input costs RSA operations caps its fixed run count in
# fuzz/fuzz_<name>.runs (one number).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ci=0
if [ "${1:-}" = "--ci" ]; then
    ci=1; limit=(-seed=1 -runs="${TAVOMIR_FUZZ_RUNS:-100000}"); what="${TAVOMIR_FUZZ_RUNS:-100000} runs, seed 1"
else
    seconds=${1:-300}; limit=(-max_total_time="$seconds"); what="${seconds}s"
fi
build=${2:-$root/build/fuzz}
if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTAVOMIR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" >/dev/null
shopt -s nullglob
failed=0
for target in "$build"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target"); name=${name#fuzz_}
    scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
    seeds=("$root/fuzz/corpus/$name")
    [ -d "${seeds[0]}" ] || seeds=()
    runs=("${limit[@]}"); ran=$what
    cap="$root/fuzz/fuzz_$name.runs"
    if [ $ci = 1 ] && [ -f "$cap" ] && [ "$(cat "$cap")" -lt "${TAVOMIR_FUZZ_RUNS:-100000}" ]; then
        runs=(-seed=1 -runs="$(cat "$cap")"); ran="$(cat "$cap") runs, seed 1"
    fi
    if "$target" "${runs[@]}" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/crash-$name-" "$scratch" "${seeds[@]}" >"$build/fuzz-$name.log" 2>&1; then
        echo "fuzz $name: clean for $ran"
    else
        echo "fuzz $name: FAILED (see $build/fuzz-$name.log)"; tail -n 30 "$build/fuzz-$name.log"; failed=1
    fi
    rm -rf "$scratch"; trap - EXIT
done
exit $failed
