#!/usr/bin/env bash
# Installs what is needed, builds, and starts the player. The programs find their program
# folder (knowledge files, help pages, the sample library) in build/data, beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -x build/tunecase ]; then
  exec build/tunecase "$@"
fi
exec build/tunecase-cli --help
