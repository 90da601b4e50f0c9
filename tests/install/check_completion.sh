#!/usr/bin/env bash
# Runs the bash completion of the programs as bash would on a TAB and checks
# the candidates: usage: check_completion.sh COMPLETION_SCRIPT
set -uo pipefail
. /usr/share/bash-completion/bash_completion
. "$1"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir "My Replays" $'caf\xe9' && touch "My Replays/a b.rec" duel.rec notes.txt

failed=0
# line typed before the TAB | candidates, sorted, one per line
while IFS='|' read -r line expected; do
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _myzor "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
    if [[ $got != "$(printf %b "$expected")" ]]; then
        printf 'completing "%s": expected "%b", got "%s"\n' "$line" "$expected" "$got"
        failed=1
    fi
done <<'CASES'
myzor-info --js|--json
myzor-info --no|--no-pictures
myzor-info --ver|--version
myzor-rename --p|--pattern
myzor-rename --pattern {da|{date}
myzor-rename --pattern={n|{n:3} {n}
myzor-rename --un|--undo
myzor-rename --h|--help --help-all --history
myzor-stats --s|--search
myzor-stats --search ma|map:
myzor-dupes --|--help --help-all --json --recursive --version
myzor-tag --no-|--no-favourite --no-watched
myzor-tag --rate |0 1 2 3 4 5
myzor-stats --search ta|tag:
myzor --|--dark --help --help-all --version
myzor-info My|My Replays
myzor-info caf|$'caf\\351'/
myzor-info d|duel.rec
myzor-info |My Replays caf\351 duel.rec
myzor-info --extract-pictures |My Replays caf\351
myzor-info --version |
CASES
exit $failed
