#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch DESTDIR under the prefix /usr and checks
# the result: the file list, the desktop entry and the metadata by their
# validators, the manual pages, the version in the metadata and the change
# log, and that the installed programs start from there.
#   check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build="$1" src="$2" version="$3"
id=cz.kolvex.kolvex12

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dest="$scratch/root"
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null

# The installed files against the expected set.
{
  grep -v '^#' "$src/tests/install/expected_files.txt"
  (cd "$src/src/base/ui" && find help -name '*.html' | sed 's|^|usr/share/kolvex12/|')
} | sort >"$scratch/expected"
(cd "$dest" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$scratch/actual"
diff -u "$scratch/expected" "$scratch/actual" || fail "installed files differ from the expected set"

# Nothing is writable by others.
bad="$(find "$dest" -perm /022 ! -type l)"
[ -z "$bad" ] || fail "writable by group or others: $bad"

share="$dest/usr/share"
desktop-file-validate "$share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "metadata"

for page in "$share"/man/man1/*.1.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "manual page $(basename "$page"): $warnings"
done

# One version everywhere: the build, the metadata's latest release, the change log.
grep -q "<release version=\"$version\"" "$share/metainfo/$id.metainfo.xml" || fail "metadata release is not $version"
zcat "$share/doc/kolvex12/changelog.gz" | head -1 | grep -q "^kolvex12 ($version)" || fail "change log is not at $version"

# The nightly service starts the installed command-line program by its path;
# the units lie where the user's service manager looks for the prefix: a home
# prefix gets share/systemd/user.
check_units() {  # FOLDER FOLDER_ONCE_INSTALLED PROGRAM HOME
  local service="$1/kolvex12-download.service"
  [ -f "$service" ] && [ -f "$1/kolvex12-download.timer" ] || fail "no user units in $1"
  grep -q "^ExecStart=.*exec \"$3\" " "$service" || fail "ExecStart does not start $3"
  grep -q "^ExecStartPost=.*exec \"$3\" export" "$service" || fail "ExecStartPost does not start $3"
  command -v systemd-analyze >/dev/null || return 0
  local run="$scratch/run" paths
  mkdir -p -m 700 "$run"
  paths="$(HOME="$4" XDG_RUNTIME_DIR="$run" systemd-analyze --user unit-paths 2>/dev/null || true)"
  [ -z "$paths" ] || grep -qxF "$2" <<<"$paths" || fail "the user's service manager does not look in $2"
  HOME="$4" XDG_RUNTIME_DIR="$run" systemd-analyze --user verify "$service" "$1/kolvex12-download.timer" \
    >"$scratch/verify" 2>&1 || fail "systemd-analyze verify: $(cat "$scratch/verify")"
}
check_units "$dest/usr/lib/systemd/user" /usr/lib/systemd/user /usr/bin/kolvex12-cli "$scratch"
home="$scratch/home"
mkdir -p "$home"
HOME="$home" cmake --install "$build" --prefix "$home/.local" >/dev/null
[ ! -e "$home/.local/lib/systemd" ] || fail "user units under ~/.local/lib/systemd, where no service manager looks"
check_units "$home/.local/share/systemd/user" "$home/.local/share/systemd/user" "$home/.local/bin/kolvex12-cli" "$home"

# The installed programs start from there, in a folder of their own.
work="$scratch/work"
mkdir "$work"
cd "$work"
[ "$("$dest/usr/bin/kolvex12" --version | head -1)" = "kolvex12 $version" ] || fail "kolvex12 --version"
"$dest/usr/bin/quendal-sim" --help >/dev/null || fail "quendal-sim --help"
out="$("$dest/usr/bin/kolvex12-cli" --port SIM info)" || fail "kolvex12-cli --port SIM info"
[ -n "$out" ] || fail "kolvex12-cli info printed nothing"
echo "install tree OK"
