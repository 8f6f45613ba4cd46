#!/usr/bin/env bash
# --help and --version answer without a display: no DISPLAY, no WAYLAND_DISPLAY and no
# QT_QPA_PLATFORM (a Qt window would abort), yet both print and exit 0; an unknown option
# exits 2 with a hint.
# usage: player_command_line.sh TUNECASE
set -u
player=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANG=C LC_ALL=C timeout 20 "$player" "$@"; }

out=$(run --help); rc=$?
[[ $rc == 0 ]] || fail "--help exited $rc"
[[ $out == "Usage: tunecase "* ]] || fail "--help printed: $out"
grep -q -- "--version" <<<"$out" || fail "--help does not list --version"

out=$(run --version); rc=$?
[[ $rc == 0 ]] || fail "--version exited $rc"
[[ $out =~ ^tunecase\ [0-9]+\.[0-9]+ ]] || fail "--version printed: $out"

out=$(run --no-such-option 2>&1); rc=$?
[[ $rc == 2 ]] || fail "an unknown option exited $rc"
grep -q "unknown option '--no-such-option'" <<<"$out" || fail "an unknown option printed: $out"
echo "ok"
