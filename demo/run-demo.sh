#!/usr/bin/env bash
# Generates the demo survey and shows the tools on it.
# Usage: run-demo.sh BINDIR MAKE_DEMO OUTDIR
set -euo pipefail
bindir=$1 make_demo=$2 outdir=$3
mkdir -p "$outdir"
demo=$outdir/demo.sgy
"$make_demo" "$demo"

# Prints the command, then its first `lines` lines of output.
show() {
    local lines=$1
    shift
    printf '\n$ %s\n' "$*"
    "$bindir/$1" "${@:2}" > "$outdir/show.out"
    head -n "$lines" "$outdir/show.out"
    local total
    total=$(wc -l < "$outdir/show.out")
    if [ "$total" -gt "$lines" ]; then
        echo "... ($total lines in all)"
    fi
}

echo "Demo survey: $demo ($(wc -c < "$demo") bytes)"
show 14 quorva-showtext "$demo"
show 5 quorva-showtext -n 1 "$demo"
show 30 quorva-showbin -n "$demo"
show 30 quorva-showtrace -n -t 31 "$demo"
show 6 quorva-showtrace -d -k -r 1 720 360 "$demo"

# A sub-cube: inlines 5-8, crosslines 110-119, 200-600 ms.
cube=$outdir/cube.sgy
show 5 quorva-trim -v -i 5 -I 8 -x 110 -X 119 -s 200 -S 600 "$demo" "$cube"
echo "Sub-cube: $cube ($(wc -c < "$cube") bytes)"
show 30 quorva-showbin -n "$cube"
show 30 quorva-showtrace -n -t 1 "$cube"

# quorva-scan sums the survey up in one pass; its inline range then picks the middle half of the
# inlines for quorva-trim.
show 20 quorva-scan "$demo"
read -r first last < <(awk -F '\t' '$1 == "inline" { print $2, $3 }' "$outdir/show.out")
quarter=$(((last - first + 1) / 4))
half=$outdir/half.sgy
show 5 quorva-trim -v -i $((first + quarter)) -I $((last - quarter)) "$demo" "$half"
show 20 quorva-scan -j "$half"
