# bash completion for halvora-cli

_halvora_cli_desktop_ids()
{
    local IFS=: dir
    local dirs="${XDG_DATA_HOME:-$HOME/.local/share}:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
    for dir in $dirs; do
        [[ -d $dir/applications ]] || continue
        (cd "$dir/applications" && find . -name '*.desktop' 2>/dev/null | sed -e 's|^\./||' -e 's|/|-|g')
    done
}

_halvora_cli()
{
    local cur prev command i
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "list show why set bulk history undo export import check help --help --version" -- "$cur"))
        return
    fi

    case $prev in
    --filter)
        COMPREPLY=($(compgen -W "all missingDefaultApplication missingCandidateApps recentlyChanged verificationFailed" -- "$cur"))
        return
        ;;
    --search)
        return
        ;;
    esac

    local options
    case $command in
    list) options="--json --search --filter --help" ;;
    show | why | history | undo) options="--json --help" ;;
    set) options="--yes --json --help" ;;
    bulk | import) options="--dry-run --yes --json --help" ;;
    export) options="--help" ;;
    check) options="--restore --yes --json --notify --help" ;;
    help) COMPREPLY=($(compgen -W "list show why set bulk history undo export import check" -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # The position of the argument after the command.
    local position=0
    for ((i = i + 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -* ]] || ((position++))
        [[ ${COMP_WORDS[i]} == --search || ${COMP_WORDS[i]} == --filter ]] && ((i++))
    done
    case $command in
    set)
        if ((position == 1)); then
            COMPREPLY=($(compgen -W "$(_halvora_cli_desktop_ids)" -- "$cur"))
        fi
        ;;
    bulk)
        if ((position == 0)); then
            COMPREPLY=($(compgen -W "$(_halvora_cli_desktop_ids)" -- "$cur"))
        fi
        ;;
    export | import)
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
}

complete -F _halvora_cli halvora-cli
