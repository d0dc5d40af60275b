#!/usr/bin/env bash
# Checks the words that the bash completion offers, from a table of command lines.
# Usage: test-completion.sh FILE [PROGRAM]...            source the completion file FILE
#        test-completion.sh --installed DIR [PROGRAM]... load it as bash-completion does, from
#                                                        the completions folder DIR
# Each PROGRAM named must have a completion.
set -uo pipefail
installed=false
if [ "${1-}" = --installed ]; then
    installed=true
    shift
fi
source_path=$1
shift
programs=("$@")
if $installed; then
    loader=/usr/share/bash-completion/bash_completion
    if [ ! -f "$loader" ]; then
        echo "skipped: bash-completion is not installed ($loader)"
        exit 77
    fi
    # bash-completion looks for completions/<command> under each folder of XDG_DATA_DIRS.
    XDG_DATA_DIRS=$(dirname "$(dirname "$source_path")")
    export XDG_DATA_DIRS
    . "$loader"
    for program in "${programs[@]}"; do
        _completion_loader "$program"
    done
else
    . "$source_path"
fi
for program in "${programs[@]}"; do
    if ! complete -p "$program" >/dev/null 2>&1; then
        echo "FAIL: no completion for $program"
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch demo.sgy 1.sgy notes.txt
mkdir line

failures=0
# Completes the last word of the command line given and compares the sorted words offered.
check() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    local function
    function=$(complete -p "$1" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    got=${got% }
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $*: expected '$expected', got '$got'"
        failures=$((failures + 1))
    fi
}

check '--description --help --nonzero --version' quorva-showbin --
check '--description' quorva-showbin --d
check '--description --help --nonzero --version -d -n' quorva-showbin -
check '1.sgy demo.sgy line notes.txt' quorva-showbin ''
check 'demo.sgy' quorva-showbin -n de
check '--nonstrict --num=' quorva-showtext --n
check '' quorva-showtext -n ''
check '--all' quorva-showtext --a
check '--non-strict --nonzero' quorva-showtrace --non
check '--quorva' quorva-showtrace --q
check 'ibm ieee' quorva-showtrace -f i
check 'char ibm ieee long short' quorva-showtrace --format = ''
check 'short' quorva-showtrace --form = s
check '' quorva-showtrace -t ''
check '' quorva-showtrace -r ''
check '1.sgy' quorva-showtrace -r 5 1
check '--crossline-begin= --crossline-end=' quorva-trim --cr
check '--il= --iline-begin= --iline-end=' quorva-trim --il
check 'long' quorva-trim -f l
check 'char ibm ieee long short' quorva-trim --f = ''
check '' quorva-trim -i ''
check '' quorva-trim --sample-end ''
check '1.sgy demo.sgy line notes.txt' quorva-trim -i 3 demo.sgy ''
check '-v' quorva-trim -v
check 'demo.sgy' quorva-trim -- de
check '--all-fields' quorva-scan --a
check 'char ibm ieee long short' quorva-scan -f ''
check '' quorva-scan -b ''
check '1.sgy demo.sgy line notes.txt' quorva-scan -j ''

if [ "$failures" -ne 0 ]; then
    echo "$failures completion checks failed"
    exit 1
fi
echo "every completion check passed"
