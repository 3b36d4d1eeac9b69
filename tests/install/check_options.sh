#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The programs' --version, --help and manual pages agree, and a wrong argument
# to the desktop program is a usage error also where there is no display.
#   check_options.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build="$1" src="$2" version="$3"
fail() { echo "FAIL: $*" >&2; status=1; }
status=0
export LC_ALL=C.UTF-8

# Options are --words; commands are words at the start of a help line indented
# by two spaces, or tags at the first indent of a manual page's COMMANDS.
options() { grep -oE -- '--[a-z0-9][a-z0-9-]*[a-z0-9]' | sort -u || true; }
help_commands() { grep -oE '^  [a-z][a-z0-9-]*( |$)' | tr -d ' ' | sort -u || true; }
page_commands() { grep -oE '^       [a-z][a-z0-9-]*( |$)' | tr -d ' ' | sort -u || true; }
# The named sections of a rendered manual page.
sections() { awk -v want="$1" '/^[A-Z][A-Z ]*$/ { on = index(want, "|" $0 "|") > 0; next } on'; }
# Lines of the first list missing from the second, as one line.
missing() { comm -23 <(printf '%s\n' "$1") <(printf '%s\n' "$2") | tr '\n' ' '; }

for row in "app/kolvex12 kolvex12" "cli/kolvex12-cli kolvex12-cli" "sim/quendal-sim quendal-sim"; do
  set -- $row
  program="$build/$1" name="$2"
  page="$src/data/man/$name.1"

  out="$("$program" --version)" || fail "$name --version: status $?"
  [ "$(head -1 <<<"$out")" = "$name $version" ] || fail "$name --version: first line is not \"$name $version\""
  grep -q 'GPL-3.0-or-later' <<<"$out" || fail "$name --version names no licence"

  help="$("$program" --help 2>&1)" || fail "$name --help: status $?"
  text="$(MANWIDTH=200 man --warnings -E UTF-8 -l "$page" 2>"$build/man-warnings.txt")" ||
    fail "$name.1 does not render"
  [ ! -s "$build/man-warnings.txt" ] || fail "$name.1: $(cat "$build/man-warnings.txt")"

  documented="$(sections '|OPTIONS|COMMANDS|' <<<"$text")"
  help_opts="$(options <<<"$help")" page_opts="$(options <<<"$documented")"
  gap="$(missing "$help_opts" "$page_opts")"
  [ -z "$gap" ] || fail "$name.1 lacks the options of --help: $gap"
  gap="$(missing "$page_opts" "$help_opts")"
  [ -z "$gap" ] || fail "$name --help lacks the options of $name.1: $gap"

  help_cmds="$(help_commands <<<"$help")"
  page_cmds="$(sections '|COMMANDS|' <<<"$text" | page_commands)"
  gap="$(missing "$help_cmds" "$page_cmds")"
  [ -z "$gap" ] || fail "$name.1 lacks the commands of --help: $gap"
  gap="$(missing "$page_cmds" "$help_cmds")"
  [ -z "$gap" ] || fail "$name --help lacks the commands of $name.1: $gap"
done
rm -f "$build/man-warnings.txt"

# The desktop program checks its arguments before it needs a display.
desktop="$build/app/kolvex12"
while IFS='|' read -r want args; do
  # shellcheck disable=SC2086
  rc=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$desktop" $args >/dev/null 2>"$build/desktop-err.txt" || rc=$?
  [ "$rc" = "$want" ] || fail "kolvex12 $args: status $rc, not $want"
  if [ "$want" = 2 ]; then
    grep -q '^usage: kolvex12' "$build/desktop-err.txt" || fail "kolvex12 $args: no usage on stderr"
  fi
done <<'ROWS'
2|--bogus
2|-bogus
2|stray
2|-platform
2|--data-home --platform-x offscreen
2|-reverse=yes
0|-style fusion --version
0|--platform=offscreen --data-home --help
ROWS
rm -f "$build/desktop-err.txt"

[ "$status" = 0 ] && echo "options and manual pages OK"
exit "$status"
