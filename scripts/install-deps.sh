#!/usr/bin/env bash
# Installs every Debian package Tunecase needs to build, run and test. Safe to run again:
# packages already present are left alone and apt is only called when something is missing.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev qt6-webengine-dev
  libfluidsynth-dev fluid-soundfont-gm libsndfile1-dev libebur128-dev
  librtmidi-dev
  libcurl4-openssl-dev libboost-dev libcpp-httplib-dev libsqlite3-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  midicsv python3-mido zbar-tools sox
  libpng-dev libqrencode-dev openssl
  libcairo2-dev poppler-utils
  xvfb xauth fonts-noto-cjk
  xdotool imagemagick
  dpkg-dev desktop-file-utils appstream librsvg2-bin groff-base man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
