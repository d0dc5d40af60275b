#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times quorva-trim and quorva-showtrace side by side with cat, dd and a bare printf loop, on
# page-cached files and on files read from disk, and shows a file beyond 4 GiB.
# Usage: bench/run-bench.sh [BUILD_DIR] (default: build). QUORVA_BENCH_ROUNDS sets the number
# of rounds (default 5); each round runs every command once, in turn, so that a load that comes
# and goes weighs on all of them alike, and each figure is the median over the rounds. Needs
# about 2 GiB free in ${TMPDIR:-/tmp}; every file it makes is removed at the end. The cold runs
# drop the input's pages from the page cache (posix_fadvise) before they start.
set -euo pipefail

build=${1:-build}
trim=$build/quorva-trim
showtrace=$build/quorva-showtrace
survey=$build/quorva-bench-survey
measure=$build/quorva-bench-measure
print=$build/quorva-bench-print
rounds=${QUORVA_BENCH_ROUNDS:-5}
for tool in "$trim" "$showtrace" "$survey" "$measure" "$print"; do
    [[ -x $tool ]] || { echo "run-bench: $tool not built (cmake --build --preset default)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorva-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
dst=$work/out.sgy

# Short traces: 1000 samples, 4240 bytes with the header, 100 000 of them (0.39 GiB).
short=$work/short.sgy short_ilines=200 xlines=500 short_samples=1000
# Long traces: 6000 samples, 24240 bytes, 20 000 of them (0.45 GiB).
long=$work/long.sgy long_ilines=40 long_samples=6000
listed=100000
"$survey" "$short" "$short_ilines" "$xlines" "$short_samples"
"$survey" "$long" "$long_ilines" "$xlines" "$long_samples"
sync
# 10 % of the inlines, from the middle of the survey, so that traces are skipped on both sides.
short_first=$((short_ilines * 9 / 20 + 1)) short_last=$((short_ilines * 11 / 20))
long_first=$((long_ilines * 9 / 20 + 1)) long_last=$((long_ilines * 11 / 20))

# Every command, by name; a name that starts with "cold" reads its input from disk.
declare -A command=(
    [cat]="-o $dst cat $short"
    [dd]="dd if=$short of=$dst bs=128K status=none"
    [full]="$trim $short $dst"
    [read]="-o /dev/null cat $short"
    [part]="$trim -i $short_first -I $short_last $short $dst"
    [long_full]="$trim $long $dst"
    [long_part]="$trim -i $long_first -I $long_last $long $dst"
    [show]="-o /dev/null $showtrace -r 1 $listed $short"
    [print]="-o /dev/null $print $xlines $short_samples $listed"
    [cold_cat]="-c $short -o $dst cat $short"
    [cold_full]="-c $short $trim $short $dst"
    [cold_read]="-c $short -o /dev/null cat $short"
    [cold_part]="-c $short $trim -i $short_first -I $short_last $short $dst"
    [cold_long_full]="-c $long $trim $long $dst"
    [cold_long_part]="-c $long $trim -i $long_first -I $long_last $long $dst"
    [cold_show]="-c $short -o /dev/null $showtrace -r 1 $listed $short"
)
order=(cat dd full read part long_full long_part show print
    cold_cat cold_full cold_read cold_part cold_long_full cold_long_part cold_show)

# The rows: label, measured command, reference command, "time" (the measured time over the
# reference's) or "rate" (the measured speed over the reference's), bar, goal.
rows=(
    "trim full copy, 4240-byte traces|full|cat|time|<= 1.1|1.0"
    "  (dd bs=128K, for comparison)|dd|cat|time||"
    "trim 10 % of the inlines, 4240-byte|part|read|time|<= 1.1|1.0"
    "trim 10 % of the inlines, 24240-byte|long_part|long_full|time|<= 0.3|0.2"
    "showtrace 100 000 headers (rate)|show|print|rate|>= 0.85|0.95"
    "cold: trim full copy, 4240-byte|cold_full|cold_cat|time||"
    "cold: trim 10 %, 4240-byte|cold_part|cold_read|time||"
    "cold: trim 10 %, 24240-byte|cold_long_part|cold_long_full|time||"
    "cold: showtrace 100 000 headers (rate)|cold_show|print|rate||"
)
references=("cat SRC > DST" "cat SRC > DST" "cat SRC > /dev/null" "its own full copy"
    "bare printf loop" "cat SRC > DST" "cat SRC > /dev/null" "its own full copy"
    "bare printf loop")

# ratio MEASURED REFERENCE KIND: the measured time over the reference's, or for KIND "rate" the
# other way round; a reference too quick to time counts as a millisecond.
ratio() { awk -v a="$1" -v b="$2" -v k="$3" 'BEGIN {
    if (a < 0.001) a = 0.001; if (b < 0.001) b = 0.001; printf "%.4f", k == "rate" ? b / a : a / b }'; }

declare -A seconds cpu rss
for name in "${order[@]}"; do rss[$name]=0; done
ratios=() cpu_ratios=()
for ((round = 0; round < rounds; ++round)); do
    declare -A now=() now_cpu=()
    for name in "${order[@]}"; do
        rm -f "$dst"
        # shellcheck disable=SC2086 # the command lines are split into words on purpose
        read -r t m c <<< "$("$measure" ${command[$name]})"
        now[$name]=$t now_cpu[$name]=$c
        seconds[$name]="${seconds[$name]:-} $t"
        cpu[$name]="${cpu[$name]:-} $c"
        if ((m > rss[$name])); then rss[$name]=$m; fi
    done
    if ((round == 0)); then
        # The outputs checked once, outside the timed runs.
        "$trim" "$short" "$dst"
        cmp -s "$short" "$dst" || { echo "run-bench: the full copy differs from its input" >&2; exit 1; }
        "$trim" -i "$short_first" -I "$short_last" "$short" "$dst"
        expected=$((3600 + (short_last - short_first + 1) * xlines * (240 + 4 * short_samples)))
        (($(stat -c %s "$dst") == expected)) || { echo "run-bench: the 10 % copy has the wrong size" >&2; exit 1; }
        cmp -s <("$showtrace" -r 1 "$listed" "$short") <("$print" "$xlines" "$short_samples" "$listed") ||
            { echo "run-bench: quorva-showtrace and the printf loop differ" >&2; exit 1; }
        rm -f "$dst"
    fi
    for ((i = 0; i < ${#rows[@]}; ++i)); do
        IFS='|' read -r label a b kind bar goal <<< "${rows[i]}"
        ratios[i]="${ratios[i]:-} $(ratio "${now[$a]}" "${now[$b]}" "$kind")"
        cpu_ratios[i]="${cpu_ratios[i]:-} $(ratio "${now_cpu[$a]}" "${now_cpu[$b]}" "$kind")"
    done
done

median() { tr ' ' '\n' | sort -g | awk 'NF { v[++n] = $1 } END {
    printf "%.3f", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'; }

size_of() { awk -v s="$(stat -c %s "$1")" 'BEGIN { printf "%.2f GiB", s / 2^30 }'; }
echo "quorva benchmark: medians of $rounds rounds; $listed traces of 4240 bytes ($(size_of "$short")," \
    "$short_ilines inlines), $((long_ilines * xlines)) of 24240 bytes ($(size_of "$long"), $long_ilines inlines)"
echo
echo "Seconds are wall-clock; \"CPU ratio\" compares processor time (user and system), which the"
echo "load of other processes on the machine sways less."
echo
echo "| work | vs | seconds | reference seconds | ratio | CPU ratio | bar | goal | peak RSS MiB |"
echo "|---|---|---|---|---|---|---|---|---|"
peak=0
for ((i = 0; i < ${#rows[@]}; ++i)); do
    IFS='|' read -r label a b kind bar goal <<< "${rows[i]}"
    work_seconds=$(median <<< "${seconds[$a]}")
    reference_seconds=$(median <<< "${seconds[$b]}")
    m=$((rss[$a] > rss[$b] ? rss[$a] : rss[$b]))
    printf '| %s | %s | %s | %s | %.2fx | %.2fx | %s | %s | %.1f |\n' "$label" "${references[i]}" \
        "$work_seconds" "$reference_seconds" "$(median <<< "${ratios[i]}")" \
        "$(median <<< "${cpu_ratios[i]}")" "$bar" "$goal" "$(awk -v m="$m" 'BEGIN { print m / 1024 }')"
done
for name in full part long_full long_part show cold_full cold_part cold_long_full cold_long_part cold_show; do
    if ((rss[$name] > peak)); then peak=${rss[$name]}; fi
done
awk -v m="$peak" 'BEGIN { printf "| peak RSS of any quorva run | | | | %.1f MiB | | < 8 MiB | | |\n", m / 1024 }'

# Beyond 4 GiB: a sparse survey of 128 KB traces; the last inline lies past the 4 GiB mark.
rm -f "$short" "$long"
big=$work/big.sgy
big_ilines=200 big_xlines=182 big_samples=32000
"$survey" "$big" "$big_ilines" "$big_xlines" "$big_samples" sparse
read -r t m c <<< "$("$measure" "$trim" -i "$big_ilines" "$big" "$dst")"
tail_bytes=$((big_xlines * (240 + big_samples * 4)))
if cmp -s <(tail -c "$tail_bytes" "$big") <(tail -c "$tail_bytes" "$dst") &&
    (($(stat -c %s "$dst") == 3600 + tail_bytes)); then
    verdict="copied exactly"
else
    verdict="WRONG"
fi
echo
awk -v s="$(stat -c %s "$big")" -v t="$t" -v m="$m" -v v="$verdict" -v n="$big_xlines" 'BEGIN {
    printf "sparse %.2f GiB file, last inline (%d traces past 4 GiB): %s in %.3f s, RSS %.1f MiB\n",
        s / 2^30, n, v, t, m / 1024 }'
[[ $verdict != WRONG ]]
