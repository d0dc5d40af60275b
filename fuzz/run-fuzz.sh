#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds, one process, on its seed corpus (made fresh by
# the project: test fixtures, the demo survey, ../shared/segy-samples when present) and on the
# corpus of earlier runs, which it grows. Builds the targets first when needed.
# Usage: fuzz/run-fuzz.sh TARGET SECONDS [BUILD_DIR]
#   TARGET: library, showbin, showtext, showtrace, trim (fuzz/fuzz_TARGET.cpp)
#   BUILD_DIR: default build-fuzz; a clang build with -DQUORVA_FUZZ=ON.
# Inputs that break a check are written to BUILD_DIR/fuzz/artifacts/TARGET/ and the script
# ends non-zero; rerun one with: BUILD_DIR/fuzz/fuzz_TARGET FILE
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "Usage: $0 TARGET SECONDS [BUILD_DIR]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1 seconds=$2 build=${3:-$root/build-fuzz}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVA_FUZZ=ON -DQUORVA_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "fuzz_$target" quorva-fuzz-seeds quorva-make-demo >/dev/null

work=$build/fuzz
seeds=$work/seeds corpus=$work/corpus/$target artifacts=$work/artifacts/$target
mkdir -p "$corpus" "$artifacts"
# The seeds are made afresh each time, so that they follow the fixture builder.
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
"$work/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=40000 \
    -dict="$root/fuzz/quorva.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$corpus" "$seeds" 2>"$work/$target.log" || {
    tail -n 40 "$work/$target.log" >&2
    echo "run-fuzz.sh: fuzz_$target found a fault; the input is in $artifacts/" >&2
    exit 1
}
# The figures of the run: executions, coverage (edges), features and the corpus.
grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1 | sed "s/^/fuzz_$target: /"
grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/$target.log" | sed "s/^/fuzz_$target: /"
