# bash completion for the quorva programs                 -*- shell-script -*-
# SPDX-License-Identifier: MIT
# Installed under the name of each program, so that bash-completion loads it when any of them is
# first completed; it registers all of them.

# One line per program: the options that take an argument, a bar, then every option offered.
# Long options that take an argument end in '=' there.
declare -gA _quorva_options=(
    [quorva-scan]='-b -B -f --il --xl --format | -b -B -f -a -j --il= --xl= --format= --all-fields --json --version --help'
    [quorva-showbin]='| -n -d --nonzero --description --version --help'
    [quorva-showtext]='-n --num | -n -a -s -S --num= --all --strict --nonstrict --version --help'
    [quorva-showtrace]='-t --trace -r --range -f --format | -t -r -f -s -S -n -d -k -v --trace= --range --format= --strict --non-strict --nonzero --description --quorva --verbose --version --help'
    [quorva-trim]='-i -I -x -X -s -S -f -b -B --iline-begin --iline-end --inline-begin --inline-end --xline-begin --xline-end --crossline-begin --crossline-end --sample-begin --sample-end --format --il --xl | -i -I -x -X -s -S -f -b -B -v --iline-begin= --iline-end= --inline-begin= --inline-end= --xline-begin= --xline-end= --crossline-begin= --crossline-end= --sample-begin= --sample-end= --format= --il= --xl= --verbose --version --help'
)

# The names -f and --format take; getopt_long accepts any prefix of --format.
_quorva_formats='ibm ieee short long char'

_quorva()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local table=${_quorva_options[${1##*/}]}
    local takes=" ${table%%|*} " offered=${table#*|}
    COMPREPLY=()

    # bash splits --format=ib into --format, = and ib.
    local option=
    if [[ $cur == = ]]; then
        option=$prev cur=
    elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $prev == -* && $takes == *" $prev "* ]]; then
        option=$prev
    fi
    if [[ -n $option ]]; then
        if [[ $option == -f || ($option == --f* && --format == "$option"*) ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$_quorva_formats" -- "$cur")
        fi
        # Other arguments are numbers: nothing to offer.
        return 0
    fi

    # After --, every word is an operand.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && break
    done
    if [[ $cur == -* && i -eq COMP_CWORD ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$offered" -- "$cur")
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
        return 0
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -F _quorva "${!_quorva_options[@]}"
