# bash completion for myzor and its command-line tools          -*- shell-script -*-
# One script for all of them, installed under each program's name.

# The fields of a --pattern, completed inside the word: "{date} {ma" gives
# "{date} {map}".
_myzor_pattern()
{
    local fields='{game} {map} {players} {teams} {races} {version} {count} {date} {time} {n} {n:3} {file}'
    local head=${cur%\{*} part=${cur##*\{}
    [[ $cur == *\{* ]] || { head=$cur part=''; }
    local IFS=$'\n'
    COMPREPLY=($(compgen -P "$head" -W "${fields// /$'\n'}" -- "{$part"))
    compopt -o nospace 2>/dev/null
}

# The fields of a search query, as the library's search field knows them.
_myzor_search()
{
    COMPREPLY=($(compgen -W 'player: map: game: race: team: version: status: date: after: before: count: tag: note: rating: is:favourite is:watched' -- "$cur"))
    compopt -o nospace 2>/dev/null
}

# Readline quotes spaces and the like in a file name, but inserts bytes that
# are not text in the locale (names need not be UTF-8) as they are; a single
# such name is given in $'...' quotes instead, so the line stays readable.
_myzor_quote_unreadable()
{
    ((${#COMPREPLY[@]} == 1)) || return
    local quoted
    printf -v quoted %q "${COMPREPLY[0]}"
    [[ $quoted == \$\'* ]] || return
    if [[ -d ${COMPREPLY[0]} ]]; then
        quoted+=/
        compopt -o nospace 2>/dev/null
    fi
    compopt +o filenames 2>/dev/null
    COMPREPLY=("$quoted")
}

_myzor()
{
    local cur prev words cword split
    _init_completion -s || return

    local common='--help --help-all --version' options
    case ${1##*/} in
        myzor-info)
            options="$common --json --recursive --extract-pictures --no-pictures" ;;
        myzor-rename)
            options="$common --pattern --dry-run --json --recursive --undo --history --finish" ;;
        myzor-stats)
            options="$common --recursive --json --search" ;;
        myzor-dupes)
            options="$common --recursive --json" ;;
        myzor-tag)
            options="$common --add --remove --rate --favourite --no-favourite --watched --no-watched --note --list --json --recursive --export --import" ;;
        *)
            options="$common --dark" ;;
    esac

    case $prev in
        -h | --help | --help-all | -v | --version)
            return ;;
        --export | --import)
            _filedir
            return ;;
        --rate)
            COMPREPLY=($(compgen -W '0 1 2 3 4 5' -- "$cur"))
            return ;;
        -a | --add | --remove | --note)
            return ;;
        --extract-pictures)
            _filedir -d
            _myzor_quote_unreadable
            return ;;
        -p | --pattern)
            _myzor_pattern
            return ;;
        --search)
            _myzor_search
            return ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir rec
    _myzor_quote_unreadable
}
complete -F _myzor myzor myzor-info myzor-rename myzor-stats myzor-dupes myzor-tag

# ex: filetype=sh
