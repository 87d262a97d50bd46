#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those still missing. Sourced by run.sh and test.sh.
set -euo pipefail

TIDWEN_PACKAGES=(
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-declarative-dev qt6-webengine-dev qt6-webchannel-dev libgl-dev
  libsqlite3-dev libxml2-dev libicu-dev zlib1g-dev libminizip-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-noto-cjk libjs-jquery libjs-jquery-lazyload
  qt6-positioning-dev libqt6positioning6-plugins dbus
  qt6-image-formats-plugins qt6-translations-l10n
)

tidwen_missing_packages() {
  local pkg
  for pkg in "${TIDWEN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || echo "$pkg"
  done
}

tidwen_install_packages() {
  local missing
  missing=$(tidwen_missing_packages)
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: $missing"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

tidwen_jobs() { nproc 2>/dev/null || echo 2; }
