#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times quorva-scan side by side with cat on two generated surveys of about 0.5 GiB, one of
# 4240-byte traces (1000 samples) and one of 24240-byte traces (6000 samples), and shows its memory
# on a sparse 9.9 GiB file. Usage: bench/scan-bench.sh [BUILD_DIR] (default: build). The runs
# alternate, QUORVA_BENCH_RUNS times each (default 7), and the medians are reported. Needs about
# 0.6 GiB free in ${TMPDIR:-/tmp}; every file it makes is removed at the end.
set -euo pipefail

build=${1:-build}
scan=$build/quorva-scan
survey=$build/quorva-bench-survey
measure=$build/quorva-bench-measure
runs=${QUORVA_BENCH_RUNS:-7}
for tool in "$scan" "$survey" "$measure"; do
    [[ -x $tool ]] || { echo "scan-bench: $tool not built (cmake --build --preset default)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorva-scan-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
short=$work/short.sgy
long=$work/long.sgy
sparse=$work/sparse.sgy
out=$work/out.txt

# The summary must be right before its time counts.
check() { # file, traces, last inline, last crossline
    "$scan" "$1" > "$out"
    grep -qx "traces	$2" "$out" && grep -qx "inline	1	$3	1" "$out" &&
        grep -qx "crossline	1	$4	1" "$out" && grep -qx "regular	yes" "$out" &&
        grep -qx "trailing_bytes	0" "$out" ||
        { echo "scan-bench: wrong summary of $1:" >&2; cat "$out" >&2; exit 1; }
}

# Each run NAME COMMAND... adds one time and one peak RSS to the run's list; the runs of all
# commands alternate, so that a load from elsewhere falls on all of them alike.
declare -A times rss
run() {
    local name=$1 line t m
    shift
    line=$("$measure" -o /dev/null "$@")
    read -r t m <<< "$line"
    times[$name]+="$t "
    rss[$name]+="$m "
}

# One survey at a time, timed as soon as it is written and read once: some systems page out file
# data that has lain unmapped for a minute, and the runs are to start from the page cache.
"$survey" "$short" 250 520 1000
check "$short" 130000 250 520
cat "$short" > /dev/null
for ((i = 0; i < runs; ++i)); do
    run cat_short cat "$short"
    run scan_short "$scan" "$short"
    run all_short "$scan" -a "$short"
    run json_short "$scan" -j "$short"
done
rm -f "$short"

"$survey" "$long" 50 440 6000
check "$long" 22000 50 440
cat "$long" > /dev/null
for ((i = 0; i < runs; ++i)); do
    run cat_long cat "$long"
    run scan_long "$scan" "$long"
    run pipe_cat sh -c "cat '$long' | cat"
    run pipe_long sh -c "cat '$long' | '$scan' /dev/stdin"
done
rm -f "$long"

median() { tr ' ' '\n' <<< "$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
largest() { tr ' ' '\n' <<< "$1" | grep . | sort -g | tail -n 1; }

row() { # label, key, reference key for the ratio (or "")
    local t m r=""
    t=$(median "${times[$2]}")
    m=$(largest "${rss[$2]}")
    [[ -n $3 ]] && r=$(awk -v t="$t" -v c="$(median "${times[$3]}")" 'BEGIN { printf "%.2f", t / c }')
    awk -v label="$1" -v t="$t" -v r="$r" -v m="$m" \
        'BEGIN { printf "%-44s %8.3f %8s %9.1f\n", label, t, r, m / 1024 }'
}

echo "quorva-scan benchmark: medians of $runs runs, files in the page cache"
printf "%-44s %8s %8s %9s\n" run seconds "vs cat" "RSS MiB"
row "cat, 4240-byte traces (0.51 GiB)" cat_short ""
row "quorva-scan, 4240-byte traces" scan_short cat_short
row "quorva-scan -a, 4240-byte traces" all_short cat_short
row "quorva-scan -j, 4240-byte traces" json_short cat_short
row "cat, 24240-byte traces (0.50 GiB)" cat_long ""
row "quorva-scan, 24240-byte traces" scan_long cat_long
row "cat | cat, 24240-byte traces" pipe_cat cat_long
row "cat | quorva-scan /dev/stdin (vs cat | cat)" pipe_long pipe_cat

# Memory does not grow with the file: a sparse survey twenty times larger, whose samples are holes.
"$survey" "$sparse" 1000 440 6000 sparse
check "$sparse" 440000 1000 440
line=$("$measure" -o "$out" "$scan" "$sparse")
read -r t m <<< "$line"
awk -v s="$(stat -c %s "$sparse")" -v t="$t" -v m="$m" 'BEGIN {
    printf "sparse %.2f GiB survey of 24240-byte traces: %.3f s, peak RSS %.1f MiB\n",
        s / 2^30, t, m / 1024 }'
