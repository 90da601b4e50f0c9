#!/usr/bin/env bash
# Every program's --help fits a terminal of 80 columns, and none of its
# option texts leaves a word or two alone on a line of their own.
set -u
status=0
for program in "$@"; do
  help=$("$program" --help) || { echo "$program --help failed"; status=1; continue; }
  name=$(basename "$program")
  if ! awk -v name="$name" '
      length($0) > 80 { printf "%s: %d columns: %s\n", name, length($0), $0; bad = 1 }
      # A continuation of an option text (deep indent) of under 20 characters
      # that is followed by another continuation: a line broken by hand.
      /^                  +[^ -]/ { if (short) { print name ": a line broken short: " short; bad = 1 }
                                    short = (length($0) < 40) ? $0 : "" ; next }
      { short = "" }
      END { exit bad }' <<<"$help"; then
    status=1
  fi
done
exit $status
