#!/usr/bin/env bash
# completion-test.sh COMPLETION PROGRAM
#
# Sources the bash completion of zveklc-cli and completes a few command lines
# in a folder of sample files; its commands must be those PROGRAM --help lists.
set -euo pipefail
completion=$(realpath "$1") program=$(realpath "$2")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zveklc-completion.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir lyr
touch a.txt b.lyr c.TagLyr d.htm e.HTML f.lrc g.dat

# shellcheck source=/dev/null
. "$completion"
complete -p zveklc-cli | grep -q -- '-F _zveklc_cli' || { echo "FAIL: not registered: $(complete -p zveklc-cli)" >&2; exit 1; }

status=0
# expect WANTED WORD...: the completions of the last WORD, sorted, separated by blanks.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=(zveklc-cli "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _zveklc_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs)
  [ "$got" = "$wanted" ] || { echo "FAIL: zveklc-cli $*: got '$got', wanted '$wanted'" >&2; status=1; }
}

commands=$(LC_ALL=C "$program" --help | sed -nE 's/^  ([a-z]+)( .*)?$/\1/p' | LC_ALL=C sort | xargs)
expect "--help --version $commands" ""
expect "unlrc untag untext" un
expect "--encoding --force --help --ms --output --quiet" unlrc --
expect "--artist" search --a
expect "sjis" untag -e s
expect "utf8" text --encoding = u
expect "d.htm e.HTML lyr" untag -r ""
expect "c.TagLyr lyr" untag ""
expect "b.lyr c.TagLyr lyr" search --artist ""
expect "a.txt" text -f a
expect "" browser ""
exit "$status"
