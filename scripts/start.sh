#!/usr/bin/env bash
# Installs what is needed, builds, and starts the player. The program folder is the build
# tree's copy of data/ (knowledge files, help pages, the sample library).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build/data
if [ -x ../tunecase ]; then
  exec ../tunecase "$@"
fi
exec ../tunecase-cli --help
