#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages kolvex12 needs, when any is missing.
# Sourced by scripts/run (building and running) and scripts/test (also the
# test tools).
set -euo pipefail

# Building, running and packaging (cpack -G DEB).
KOLVEX_PACKAGES=(
  cmake g++ make pkg-config
  libserialport-dev
  libssl-dev
  nlohmann-json3-dev
  qt6-base-dev
  adwaita-icon-theme
  libqcustomplot-dev
  zlib1g-dev
  libfmt-dev
  pxlib-dev
  # The printed listing is laid out for Liberation Sans.
  fonts-liberation2
  qt6-translations-l10n
  # Installation: icon rendering, compressed manual pages, and what
  # cpack -G DEB runs (dpkg-shlibdeps, dpkg-buildflags, dpkg-parsechangelog).
  librsvg2-bin gzip
  dpkg-dev file
)

# The tests only: GoogleTest, the network serial server, the independent
# readers of tables, workbooks and PDF files, the validators of the desktop
# entry and the metadata, and the manual page renderer.
KOLVEX_TEST_PACKAGES=(
  libgtest-dev
  ser2net python3-serial
  python3-dbfread python3-dbf python3-openpyxl
  poppler-utils
  desktop-file-utils appstream man-db
)

# kolvex_install_deps [run|test]: "run" installs what building and running
# need, "test" that and the test tools; without an argument, everything.
kolvex_install_deps() {
  local purpose="${1:-test}"
  local wanted=("${KOLVEX_PACKAGES[@]}")
  case "$purpose" in
    run) ;;
    test) wanted+=("${KOLVEX_TEST_PACKAGES[@]}") ;;
    *) echo "kolvex_install_deps: run or test, not $purpose" >&2; return 2 ;;
  esac
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
  else
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}

# kolvex_build ROOT [run|test]: builds into ROOT/build; the test suites and
# benchmarks only for "test" (the default).
kolvex_build() {
  local root="$1" purpose="${2:-test}"
  local with_tests=ON
  [ "$purpose" = run ] && with_tests=OFF
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKOLVEX_BUILD_TESTS=$with_tests -DKOLVEX_BUILD_BENCH=$with_tests >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}
