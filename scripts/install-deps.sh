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
  gettext locales qt6-translations-l10n
)

# The translation tests run in English and in Japanese.
LOCALES=("en_US.UTF-8 UTF-8" "ja_JP.UTF-8 UTF-8")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

# Generates the locales that are not there yet: their line in /etc/locale.gen is uncommented
# (or appended), then locale-gen builds them.
have_locale() { locale -a 2>/dev/null | grep -qix "$(echo "${1%%.*}.utf8")"; }
wanted=()
for l in "${LOCALES[@]}"; do
  name=${l%% *}
  have_locale "$name" || wanted+=("$l")
done
if [ ${#wanted[@]} -gt 0 ]; then
  for l in "${wanted[@]}"; do
    if grep -qE "^#? *${l}\$" /etc/locale.gen 2>/dev/null; then
      $SUDO sed -i -E "s/^# *(${l})\$/\1/" /etc/locale.gen
    else
      echo "$l" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  echo "install-deps: generating locales ${wanted[*]%% *}"
  $SUDO locale-gen
fi
