#!/usr/bin/env bash
# Generates the demo survey and shows the tools on it.
# Usage: run-demo.sh BINDIR MAKE_DEMO OUTDIR
set -euo pipefail
bindir=$1 make_demo=$2 outdir=$3
mkdir -p "$outdir"
demo=$outdir/demo.sgy
"$make_demo" "$demo"

show() {
    printf '\n$ %s\n' "$*"
    "$bindir/$@"
}

echo "Demo survey: $demo ($(wc -c < "$demo") bytes)"
show quorva-showbin -n "$demo"
