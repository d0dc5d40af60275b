#!/usr/bin/env zsh
# Checks the command lines that the zsh completion completes, from a table, by typing them with
# a tab into an interactive zsh on a pseudo-terminal.
# Usage: test-zsh-completion.zsh DIR      DIR holds _quorva
emulate -L zsh
zmodload zsh/zpty || { print "skipped: no zsh/zpty module"; exit 77 }
dir=${1:A}
work=$(mktemp -d)
cd $work
touch demo.sgy notes.txt

# Each line typed, then a tab, and the line the completion leaves behind.
typed=(
    'quorva-trim --form'
    'quorva-trim -f l'
    'quorva-trim -i 3 dem'
    'quorva-showtrace -f s'
    'quorva-showtrace --q'
    'quorva-showbin --desc'
    'quorva-showtext --al'
    'quorva-scan --js'
    'quorva-scan -f ie'
)
expected=(
    'quorva-trim --format='
    'quorva-trim -f long '
    'quorva-trim -i 3 demo.sgy '
    'quorva-showtrace -f short '
    'quorva-showtrace --quorva '
    'quorva-showbin --description '
    'quorva-showtext --all '
    'quorva-scan --json '
    'quorva-scan -f ieee '
)

# Waits until FILE has at least N lines, for 20 seconds at most.
wait_lines() {
    local i
    for i in {1..200}; do
        [[ -f $1 && $(wc -l < $1) -ge $2 ]] && return 0
        sleep 0.1
    done
    return 1
}

zpty z "zsh -f -i"
# Set only now: the shell on the terminal is a fork of this one and would run it at its end.
trap 'rm -rf $work' EXIT
# Once it prompts: compinit, a ^X widget that writes the edited line to a file and clears it,
# and a line in another file each time the line editor starts; the keys go in after that.
zpty -r -m z startup '*[%#] ' || { print "FAIL: no prompt from zsh"; exit 1 }
zpty -w z "fpath=(${(q)dir} \$fpath); autoload -Uz compinit; compinit -u -D; \
dump() { print -r -- \"\$BUFFER\" >> $work/lines; BUFFER= }; zle -N dump; bindkey '^X' dump; \
zle-line-init() { print ready >> $work/ready }; zle -N zle-line-init"
wait_lines ready 1
for i in {1..$#typed}; do
    zpty -w -n z "$typed[i]"$'\t\x18'
    wait_lines lines $i || break
done
zpty -d z

got=()
[[ -f lines ]] && got=("${(@f)$(<lines)}")
failures=0
for i in {1..$#typed}; do
    if [[ $got[i] != $expected[i] ]]; then
        print -r -- "FAIL: '$typed[i]' + tab: expected '$expected[i]', got '$got[i]'"
        (( failures++ ))
    fi
done
(( failures == 0 )) || { print "$failures zsh completion checks failed"; exit 1 }
print "every zsh completion check passed"
