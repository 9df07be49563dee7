#!/usr/bin/env bash
# manpage-test.sh PROGRAM PAGE
#
# The manual page lists the same commands and options as PROGRAM --help: an
# option the program learns must be described in its page, and one it drops
# must leave the page. From --help: every option named anywhere in it and the
# command names that open its entries; from the page: the heads of its .TP
# entries, where a command is set in bold and an argument in italics.
set -euo pipefail
program=$1 page=$2

# Bytes, not characters: an option may follow a Japanese full stop.
export LC_ALL=C
options() { grep -oE -- '(^|[^[:alnum:]_./-])--?[a-z][a-z-]*' | sed 's/^[^-]*//' | sort -u; }

help=$("$program" --help)
heads=$(awk 'take { print; take = 0 } /^\.TP/ { take = 1 }' "$page" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g')

help_options=$(options <<<"$help")
page_options=$(options <<<"$heads")
help_commands=$(sed -nE 's/^  ([a-z]+)( .*)?$/\1/p' <<<"$help" | sort -u)
page_commands=$(sed -nE 's/^\.BR? "?([a-z]+)"?( .*)?$/\1/p' <<<"$heads" | sort -u)

status=0
compare() {
  local what=$1 help_set=$2 page_set=$3 only
  only=$(comm -23 <(echo "$help_set") <(echo "$page_set"))
  [ -z "$only" ] || { echo "FAIL: $what in --help but not in $page:" "${only//$'\n'/ }" >&2; status=1; }
  only=$(comm -13 <(echo "$help_set") <(echo "$page_set"))
  [ -z "$only" ] || { echo "FAIL: $what in $page but not in --help:" "${only//$'\n'/ }" >&2; status=1; }
}
compare options "$help_options" "$page_options"
compare commands "$help_commands" "$page_commands"
[ -n "$help_options" ] || { echo "FAIL: no option found in --help" >&2; status=1; }
[ "$status" = 0 ] && echo "$(wc -w <<<"$help_options") options, $(wc -w <<<"$help_commands") commands listed in both"
exit "$status"
