#!/usr/bin/env bash
# Runs fuzz targets, one process at a time, each for a number of seconds on its seed corpus
# (made afresh from the test fixtures, the demo survey and ../shared/segy-samples when present)
# and on the corpus of its earlier runs, which it grows. Builds what it needs first.
# Usage: fuzz/run-fuzz.sh TARGET|all SECONDS [BUILD_DIR]
#   TARGET: library, scan, showbin, showtext, showtrace, trim (fuzz/fuzz_TARGET.cpp); all runs
#   every target built, one after the other, SECONDS each.
#   BUILD_DIR: default build-fuzz, configured with clang++ and -DQUORVA_FUZZ=ON when new.
# An input that breaks a check is written to BUILD_DIR/fuzz/artifacts/TARGET/ and the script
# ends non-zero; rerun it with: BUILD_DIR/fuzz/fuzz_TARGET FILE
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "Usage: $0 TARGET|all SECONDS [BUILD_DIR]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1 seconds=$2 build=${3:-$root/build-fuzz}
work=$build/fuzz

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVA_FUZZ=ON -DQUORVA_TESTS=OFF >/dev/null
fi
if [ "$target" = all ]; then
    cmake --build "$build" -j2 --target fuzz >/dev/null
else
    cmake --build "$build" -j2 --target "fuzz_$target" quorva-fuzz-seeds quorva-make-demo >/dev/null
fi

# The seeds follow the fixture builder, so they are made afresh each time.
seeds=$work/seeds
rm -rf "$seeds"
mkdir -p "$seeds"
"$build/quorva-make-demo" "$work/demo.sgy" >/dev/null
files=("$work/demo.sgy")
if [ -d "$root/../shared/segy-samples" ]; then
    for f in "$root/../shared/segy-samples"/*; do
        [ "${f##*.}" = md ] || files+=("$f")
    done
else
    echo "run-fuzz.sh: ../shared/segy-samples not found; seeding without the real-world samples"
fi
"$work/quorva-fuzz-seeds" "$seeds" "${files[@]}"

# One process: the machine is shared. Inputs up to 40 000 bytes hold a few traces of 1000
# samples; a run that takes 10 seconds counts as hung.
run_target() {
    local name=$1 corpus=$work/corpus/$1 artifacts=$work/artifacts/$1
    mkdir -p "$corpus" "$artifacts"
    if ! "$work/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=40000 -dict="$root/fuzz/quorva.dict" -artifact_prefix="$artifacts/" \
        -print_final_stats=1 "$corpus" "$seeds" 2>"$work/$name.log"; then
        tail -n 40 "$work/$name.log" >&2
        echo "run-fuzz.sh: fuzz_$name found a fault; the input is in $artifacts/" >&2
        return 1
    fi
    # The figures of the run: executions, coverage (edges), features, corpus, memory.
    grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$name.log" | tail -n 1 | sed "s/^/fuzz_$name: /"
}

if [ "$target" = all ]; then
    for program in "$work"/fuzz_*; do
        [ -f "$program" ] && [ -x "$program" ] && run_target "${program##*/fuzz_}"
    done
else
    run_target "$target"
fi
