#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
# Sourced by scripts/run and scripts/test.
set -euo pipefail

KOLVEX_PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev
  libserialport-dev
  libssl-dev
  nlohmann-json3-dev
  qt6-base-dev
  adwaita-icon-theme
  libqcustomplot-dev
  libxlsxwriter-dev
  libfmt-dev
  pxlib-dev
  ser2net python3-serial
  fonts-liberation2
  python3-dbfread python3-dbf python3-openpyxl
  poppler-utils
  # Installation: icon rendering, the desktop entry and metadata validators,
  # manual page checks, and what cpack -G DEB runs.
  librsvg2-bin gzip
  desktop-file-utils appstream man-db
  dpkg-dev file
  qt6-translations-l10n
)

kolvex_install_deps() {
  local missing=()
  local p
  for p in "${KOLVEX_PACKAGES[@]}"; do
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

kolvex_build() {
  local root="$1"
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" -j"$(nproc)"
}
