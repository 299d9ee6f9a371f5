# bash completion for quorvane-cli: its commands, its options, and file names, containers (.dat) first
# where a container is what the command takes.
_quorvane_cli()
{
    local cur prev command="" i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            encrypt | decrypt | check | list) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    case $prev in
        -k | --key-file | -o | --output)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return ;;
        -d | --directory)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --name) return ;;
    esac

    if [ -z "$command" ]; then
        mapfile -t COMPREPLY < <(compgen -W 'encrypt decrypt check list --help --version' -- "$cur")
        return
    fi
    if [[ $cur == -* ]]; then
        local options='-k --key-file --'
        case $command in
            encrypt) options+=' -o --output -d --directory -f --force --name' ;;
            decrypt) options+=' -o --output -d --directory -f --force' ;;
            check) options+=' --keep-going' ;;
            list) options+=' -0' ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    compopt -o filenames 2>/dev/null
    if [ "$command" != encrypt ]; then
        # Containers and folders first; any file only when none of those match.
        mapfile -t COMPREPLY < <(compgen -f -X '!*.[dD][aA][tT]' -- "$cur"; compgen -d -- "$cur")
        [ ${#COMPREPLY[@]} -gt 0 ] && return
    fi
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _quorvane_cli quorvane-cli
