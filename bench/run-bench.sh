#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times quorva-trim against cat on a generated survey of about 1 GiB, and shows a file beyond
# 4 GiB. Usage: bench/run-bench.sh [BUILD_DIR] (default: build). Needs about 3 GiB free in
# ${TMPDIR:-/tmp}; every file it makes is removed at the end.
set -euo pipefail

build=${1:-build}
trim=$build/quorva-trim
survey=$build/quorva-bench-survey
measure=$build/quorva-bench-measure
runs=${QUORVA_BENCH_RUNS:-3}
for tool in "$trim" "$survey" "$measure"; do
    [[ -x $tool ]] || { echo "run-bench: $tool not built (cmake --build --preset default)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorva-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/survey.sgy
dst=$work/out.sgy

ilines=500 xlines=520 samples=1000
"$survey" "$src" "$ilines" "$xlines" "$samples"
"$survey" "$work/quarter.sgy" $((ilines / 4)) "$xlines" "$samples"
sync
# Read once, so that every run starts from the page cache.
cat "$src" "$work/quarter.sgy" > /dev/null

# best_of NAME [-o STDOUT] COMMAND...: the fastest of $runs runs, and the largest peak RSS.
declare -A seconds rss
best_of() {
    local name=$1 best="" peak=0 line t m
    shift
    for ((i = 0; i < runs; ++i)); do
        rm -f "$dst"
        line=$("$measure" "$@")
        read -r t m <<< "$line"
        if [[ -z $best ]] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
        if ((m > peak)); then peak=$m; fi
    done
    seconds[$name]=$best
    rss[$name]=$peak
}

best_of cat -o "$dst" cat "$src"
best_of dd dd if="$src" of="$dst" bs=128K status=none
best_of full "$trim" "$src" "$dst"
cmp -s "$src" "$dst" || { echo "run-bench: the full copy differs from its input" >&2; exit 1; }
best_of inlines "$trim" -i 1 -I $((ilines / 10)) "$src" "$dst"
# Samples lie at 0, 4, ... 3996 ms; the window keeps 250 of the 1000.
best_of window "$trim" -s 1000 -S 1996 "$src" "$dst"
best_of quarter "$trim" "$work/quarter.sgy" "$dst"
rm -f "$dst"

row() { # label, key, reference key for the ratio (or ""), second reference key (or "")
    awk -v label="$1" -v t="${seconds[$2]}" -v a="${3:+${seconds[$3]}}" \
        -v b="${4:+${seconds[$4]}}" -v m="${rss[$2]}" 'BEGIN {
        printf "%-36s %8.3f %8s %9s %9.1f\n", label, t,
            a == "" ? "" : sprintf("%.2f", t / a), b == "" ? "" : sprintf("%.2f", t / b), m / 1024 }'
}

size=$(stat -c %s "$src")
traces=$((ilines * xlines))
echo "quorva-trim benchmark: $traces traces of $samples 4-byte samples," \
    "$(awk -v s="$size" 'BEGIN { printf "%.2f GiB", s / 2^30 }'), fastest of $runs runs"
printf "%-36s %8s %8s %9s %9s\n" run seconds "vs cat" "vs full" "RSS MiB"
row "cat SRC > DST" cat
row "dd bs=128K (read and write)" dd cat
row "quorva-trim full copy" full cat full
row "quorva-trim 10 % of the inlines" inlines cat full
row "quorva-trim quarter time window" window cat full
row "quorva-trim full copy, 1/4 the traces" quarter cat full
awk -v q="${seconds[quarter]}" -v f="${seconds[full]}" -v n="$traces" 'BEGIN {
    printf "cost per trace: %.2f us on the whole file, %.2f us on a quarter of it\n",
        f / n * 1e6, q / (n / 4) * 1e6 }'

# Beyond 4 GiB: a sparse survey of 128 KB traces; the last inline lies past the 4 GiB mark.
rm -f "$work/quarter.sgy" "$src"
big=$work/big.sgy
big_ilines=200 big_xlines=182 big_samples=32000
"$survey" "$big" "$big_ilines" "$big_xlines" "$big_samples" sparse
line=$("$measure" "$trim" -i "$big_ilines" "$big" "$dst")
read -r t m <<< "$line"
tail_bytes=$((big_xlines * (240 + big_samples * 4)))
if cmp -s <(tail -c "$tail_bytes" "$big") <(tail -c "$tail_bytes" "$dst") &&
    (($(stat -c %s "$dst") == 3600 + tail_bytes)); then
    verdict="copied exactly"
else
    verdict="WRONG"
fi
awk -v s="$(stat -c %s "$big")" -v t="$t" -v m="$m" -v v="$verdict" -v n="$big_xlines" 'BEGIN {
    printf "sparse %.2f GiB file, last inline (%d traces past 4 GiB): %s in %.3f s, RSS %.1f MiB\n",
        s / 2^30, n, v, t, m / 1024 }'
[[ $verdict != WRONG ]]
