#!/usr/bin/env bash
# Every option a program's --help lists (the command-line tool's commands' --help too) is
# described in its manual page, so the two cannot drift apart.
# Usage: help_in_man_test.sh MAN_FOLDER PROGRAM...   (MAN_FOLDER: docs/ of the sources)
set -uo pipefail
man_folder=$1
shift
failed=0

# The page's text with troff's escaped hyphens as plain ones and its font changes dropped.
page_text() {
  local name=$1
  if [ -f "$man_folder/man/$name.1.scd" ]; then
    cat "$man_folder/man/$name.1.scd"
  elif [ -f "$man_folder/$name.1" ]; then
    sed 's/\\-/-/g; s/\\f[BIRP]//g' "$man_folder/$name.1"
  else
    return 1
  fi
}

# The long options a help text names.
options_in() {
  grep -oE -- '(^|[^a-zA-Z0-9-])--[a-z][a-z0-9-]*' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}

for program in "$@"; do
  name=$(basename "$program")
  page=$(page_text "$name") || { echo "$name: no manual page in $man_folder"; failed=1; continue; }
  help=$("$program" --help) || { echo "$name --help failed"; failed=1; continue; }
  if [ "$name" = trx81500-cli ]; then
    # The commands, as the help lists them under "Commands:": one or two lower-case words.
    commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/p' |
      sed -n 's/^  \([a-z]\+\( [a-z]\+\)\?\)\( .*\)\?$/\1/p')
    [ -n "$commands" ] || { echo "$name: no commands found in its --help"; failed=1; }
    while IFS= read -r command; do
      # shellcheck disable=SC2086 # a command of two words ("params get") is two arguments
      help+=$'\n'$("$program" $command --help) || { echo "$name $command --help failed"; failed=1; }
    done <<<"$commands"
  fi
  count=0
  while IFS= read -r option; do
    count=$((count + 1))
    if ! grep -qE -- "(^|[^a-zA-Z0-9-])${option}([^a-z0-9-]|$)" <<<"$page"; then
      echo "$name: $option is in --help but not in its manual page"
      failed=1
    fi
  done < <(printf '%s\n' "$help" | options_in)
  [ "$count" -gt 0 ] || { echo "$name: no options found in its --help"; failed=1; }
  echo "$name: $count options checked"
done
exit $failed
