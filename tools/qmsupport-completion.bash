# Bash completion for the qmsupport program. The commands and their options are read from the
# program's own help, so they never go stale; other words complete as file names.
_qmsupport() {
    local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} words
    local commands
    commands=$("$program" --help 2>/dev/null | sed -n 's/^  \([a-z0-9-]*\) .*/\1/p')
    if [[ $COMP_CWORD -eq 1 ]]; then
        words="$commands --help --version"
    elif [[ ${COMP_WORDS[1]} == help && $COMP_CWORD -eq 2 ]]; then
        words=$commands
    elif [[ $cur == -* ]]; then
        words=$("$program" help "${COMP_WORDS[1]}" 2>/dev/null |
            grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
    else
        return
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}
complete -o bashdefault -o default -F _qmsupport qmsupport
