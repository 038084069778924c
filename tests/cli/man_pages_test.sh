#!/usr/bin/env bash
# The man pages name every command and option that the programs' help lists,
# so the two cannot drift apart.
# Usage: man_pages_test.sh TOLVANE-CLI TOLVANE-CLI.1 TOLVANE TOLVANE.1
set -euo pipefail
cli="$1" cli_man="$2" gui="$3" gui_man="$4"
failed=0

# The options a help text lists ("-o,--output TEXT" gives -o and --output).
options_of() { grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u; }
# A man page as text: roff's "\-" is a plain minus.
plain() { sed 's/\\-/-/g' "$1"; }
has() { grep -qE -- "(^|[^a-z-])$2([^a-z-]|$)" <<<"$1"; }

cli_text="$(plain "$cli_man")"
commands="$("$cli" --help | awk '/^Subcommands:/ { listing = 1; next } listing && NF { print $1 }')"
[ -n "$commands" ] || { echo "no commands in tolvane-cli --help"; exit 1; }
for command in $commands; do
  has "$cli_text" "tolvane-cli $command" || { echo "tolvane-cli(1) lacks the command $command"; failed=1; }
  for option in $("$cli" "$command" --help | options_of); do
    has "$cli_text" "$option" || { echo "tolvane-cli(1) lacks $option of $command"; failed=1; }
  done
done
for option in $("$cli" --help | options_of) --version; do
  has "$cli_text" "$option" || { echo "tolvane-cli(1) lacks $option"; failed=1; }
done
for code in 0 1 2 3 4 5; do
  grep -q "^\.B $code\$" "$cli_man" || { echo "tolvane-cli(1) lacks exit status $code"; failed=1; }
done

gui_text="$(plain "$gui_man")"
for option in $(QT_QPA_PLATFORM=offscreen "$gui" --help | options_of); do
  has "$gui_text" "$option" || { echo "tolvane(1) lacks $option"; failed=1; }
done
[ "$failed" -eq 0 ] && echo "man pages cover every command and option"
exit "$failed"
