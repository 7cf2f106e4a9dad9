# Bash completion for kavrel-cli.
# The commands and their options are read from kavrel-cli's own --help, so that what is
# offered is what the installed program takes.

# The commands: the lines "  NAME  description" of the top-level help.
_kavrel_cli_commands() {
    "$1" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z0-9-]*\)  .*/\1/p'
}

# Every option that the command's help names.
_kavrel_cli_options() {
    "$1" "$2" --help 2>/dev/null | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' |
        sed 's/^[ ,]*//' | sort -u
}

# Folders and the files whose extension, in any case, is one of the arguments.
_kavrel_cli_files() {
    local cur=$1 name lower extension
    shift
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    for name in $(compgen -d -- "$cur"); do COMPREPLY+=("$name"); done
    for name in $(compgen -f -- "$cur"); do
        [[ -d $name ]] && continue
        lower=${name,,}
        for extension in "$@"; do
            if [[ $lower == *."$extension" ]]; then
                COMPREPLY+=("$name")
                break
            fi
        done
    done
}

_kavrel_cli() {
    local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # The command is the first word that is not an option.
    local command= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '--help --version' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "$(_kavrel_cli_commands "$program")" -- "$cur")
        fi
        return
    fi

    # The values of options that take one.
    case $prev in
        -o | --out)
            compopt -o filenames 2>/dev/null
            if [[ $command == xpl || $command == mkv ]]; then  # a file, not a folder
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            else
                mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            fi
            return
            ;;
        -s | --streams)
            mapfile -t COMPREPLY < <(compgen -W 'v0 v1 a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 a10 a11
                a12 a13 a14 a15 s0 s1 s2 s3 s4 s5 s6 s7 s8 s9 s10 s11 s12 s13 s14 s15' -- "$cur")
            return
            ;;
        -i | --input)
            _kavrel_cli_files "$cur" evo vob aob
            return
            ;;
        --pgs)
            _kavrel_cli_files "$cur" sup
            return
            ;;
        --png)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --*-ext | --size)
            return
            ;;
        --lpcm)
            mapfile -t COMPREPLY < <(compgen -W 'wav raw' -- "$cur")
            return
            ;;
        --subs)
            mapfile -t COMPREPLY < <(compgen -W 'pgs vobsub sup' -- "$cur")
            return
            ;;
        --format)
            mapfile -t COMPREPLY < <(compgen -W 'wav flac' -- "$cur")
            return
            ;;
        --title | --angle)
            return
            ;;
        --chapters)
            if [[ $command == xpl ]]; then
                mapfile -t COMPREPLY < <(compgen -W 'xml ogm' -- "$cur")
                return
            fi
            ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kavrel_cli_options "$program" "$command")" -- "$cur")
    elif [[ $command == xpl ]]; then
        _kavrel_cli_files "$cur" xpl
    elif [[ $command == titles ]]; then  # a playlist, a disc folder or its image
        _kavrel_cli_files "$cur" xpl iso
    elif [[ $command == subs ]]; then
        _kavrel_cli_files "$cur" sup
    elif [[ $command == tracks ]]; then  # a disc folder or its image
        _kavrel_cli_files "$cur" iso
    else
        _kavrel_cli_files "$cur" evo vob aob iso
    fi
}

complete -F _kavrel_cli kavrel-cli
