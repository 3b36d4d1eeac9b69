#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A release build refuses placeholder package data: the maintainer, the
# homepage, the signer of the latest change log entry.
#   check_release.sh SOURCE_DIR
set -euo pipefail
src="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0

# The project's change log, its latest entry signed by a real address.
signed="$scratch/changelog"
sed '0,/^ -- /s/^ -- .*>  /Jana Nováková <jana@kolvex.cz>  /; 0,/^Jana/s/^Jana/ -- Jana/' \
  "$src/data/debian/changelog" >"$signed"
grep -q '^ -- Jana Nováková <jana@kolvex.cz>  ' "$signed" || { echo "FAIL: could not sign the change log" >&2; exit 1; }

while IFS='|' read -r want maintainer homepage changelog; do
  rc=0
  cmake -DMAINTAINER="$maintainer" -DHOMEPAGE="$homepage" -DCHANGELOG="${changelog/SIGNED/$signed}" \
    -P "$src/cmake/ReleaseCheck.cmake" >/dev/null 2>&1 || rc=$?
  if { [ "$want" = ok ] && [ "$rc" != 0 ]; } || { [ "$want" = refused ] && [ "$rc" = 0 ]; }; then
    echo "FAIL: expected $want: $maintainer | $homepage | $changelog" >&2
    status=1
  fi
done <<ROWS
ok|Jana Nováková <jana@kolvex.cz>|https://kolvex.cz/kolvex12|SIGNED
refused|kolvex dev <dev@kolvex.invalid>|https://kolvex.cz/kolvex12|SIGNED
refused|Jana <jana@example.com>|https://kolvex.cz/kolvex12|SIGNED
refused|jana@kolvex.cz|https://kolvex.cz/kolvex12|SIGNED
refused|Jana Nováková <jana@kolvex.cz>|https://kolvex.invalid/kolvex12|SIGNED
refused|Jana Nováková <jana@kolvex.cz>|kolvex.cz|SIGNED
refused|Jana Nováková <jana@kolvex.cz>|https://kolvex.cz/kolvex12|$src/data/debian/changelog
ROWS
[ "$status" = 0 ] && echo "release check OK"
exit "$status"
