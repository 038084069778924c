#!/usr/bin/env bash
# The bash completion of tolvane-cli as a shell uses it: commands, options,
# ports for --port, HEX files for FILE, and every option the help lists.
# Usage: completion_test.sh COMPLETION-SCRIPT TOLVANE-CLI
set -euo pipefail
script="$1" cli="$2"
source "$script"
failed=0

# Completes a command line whose last word is the one being typed.
complete_line() {
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
  _tolvane_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local want="$1"; shift
  local got; got="$(complete_line "$@" | tr '\n' ' ')"
  [[ " $got " == *" $want "* ]] || { echo "completing '$*': no '$want' in: $got"; failed=1; }
}

expect write w
expect verify ve
expect --force write --f
expect --dump read --d
expect sim write --port s
expect --program-ms sim --pro
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
touch "$work/firmware.hex" "$work/notes.txt"
expect "$work/firmware.hex" write --port sim "$work/f"
got="$(complete_line write --port sim "$work/n")"
[ -z "$got" ] || { echo "notes.txt offered as a HEX file: $got"; failed=1; }

# The commands are those of the program's own table, as its help lists them.
commands="$("$cli" --help | awk '/^Subcommands:/ { listing = 1; next } listing && NF { print $1 }' | sort | tr '\n' ' ')"
[ -n "$commands" ] || { echo "no commands in tolvane-cli --help"; exit 1; }
listed="$(sed -n 's/^ *local commands="\(.*\)"$/\1/p' "$script" | tr ' ' '\n' | sort | tr '\n' ' ')"
[ "$listed" = "$commands" ] || { echo "the completion's commands ($listed) are not the program's ($commands)"; failed=1; }
for command in $commands; do
  expect "$command" "${command:0:2}"
done

# Every option of every command's help is offered.
for command in $commands; do
  for option in $("$cli" "$command" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
    expect "$option" "$command" "$option"
  done
done
[ "$failed" -eq 0 ] && echo "completion offers the commands, options, ports and files"
exit "$failed"
