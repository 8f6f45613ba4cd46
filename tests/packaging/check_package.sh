#!/usr/bin/env bash
# The Debian package: packs the build with cpack, then reads the package back with dpkg-deb
# (control fields and file list) and asks apt whether it would install here.
#
# usage: check_package.sh BUILD_FOLDER VERSION
# Exits 77 (skipped) when cpack's Debian tools are missing.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_FOLDER VERSION" >&2; exit 2; }
BUILD=$(realpath "$1")
VERSION=$2
for tool in cpack dpkg-deb dpkg-shlibdeps apt-get; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$WORK" && cpack -G DEB -B "$WORK" --config "$BUILD/CPackConfig.cmake") >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; echo "FAIL: cpack"; exit 1; }
DEB="$WORK/tunecase_${VERSION}_amd64.deb"
[ -f "$DEB" ] || { ls "$WORK"; echo "FAIL: no $(basename "$DEB")"; exit 1; }

# ---- Control fields --------------------------------------------------------------------------
field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = tunecase ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VERSION" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# What is opened at run time (synthesizer, soundfont, MIDI ports, Qt's platform plugins) and
# what the programs link (found by dpkg-shlibdeps).
for package in libfluidsynth3 fluid-soundfont-gm librtmidi6 qt6-qpa-plugins libqt6widgets6 \
               libqt6webenginewidgets6 libcurl4 libpng16-16 libc6; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
# Nothing of the build machine: no development package.
if grep -Eq -- '-dev( |,|$)' <<<"$depends"; then fail "Depends names a development package: $depends"; fi

# ---- Files -----------------------------------------------------------------------------------
dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/files"
for f in /usr/bin/tunecase /usr/bin/tunecase-cli /usr/libexec/tunecase/tunecase-cli-full /usr/share/tunecase/PATTERN.DB \
         /usr/share/tunecase/boxes.txt /usr/share/tunecase/TIMECHT.DB \
         /usr/share/tunecase/help/top.htm /usr/share/tunecase/Archive/ode_to_joy.mwd \
         /usr/share/applications/org.tunecase.Tunecase.desktop \
         /usr/share/icons/hicolor/scalable/apps/org.tunecase.Tunecase.svg \
         /usr/share/metainfo/org.tunecase.Tunecase.metainfo.xml \
         /usr/share/man/man1/tunecase.1.gz /usr/share/man/man1/tunecase-cli.1.gz \
         /usr/share/locale/ja/LC_MESSAGES/tunecase.mo /usr/share/tunecase/help/ja/top.htm; do
  grep -qx -- "$f" "$WORK/files" || fail "the package lacks $f"
done
sheets=$(find "$BUILD/data/Archive" -maxdepth 1 -name '*.mwd' | wc -l)
packed=$(grep -c '^/usr/share/tunecase/Archive/.*\.mwd$' "$WORK/files" || true)
[ "$packed" -eq "$sheets" ] || fail "$packed of $sheets sample songs packed"
outside=$(grep -v '^/usr/' "$WORK/files" | grep -vx '/' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
grep -q '/songs/' "$WORK/files" && fail "the song sheets were packed"

# The programs are stripped and carry no path of the build tree.
dpkg-deb -x "$DEB" "$WORK/root"
for program in bin/tunecase bin/tunecase-cli libexec/tunecase/tunecase-cli-full; do
  if readelf -S "$WORK/root/usr/$program" | grep -q '\.debug_info'; then fail "$program is not stripped"; fi
  if readelf -d "$WORK/root/usr/$program" | grep -Eq 'RPATH|RUNPATH'; then fail "$program has a run path"; fi
done
gzip -t "$WORK/root/usr/share/man/man1/tunecase-cli.1.gz" || fail "a manual page is not valid gzip"

# ---- apt would install it here (dependencies resolvable from the package lists) --------------
if ! apt-get install -s "$DEB" >"$WORK/apt.log" 2>&1 ||
   ! grep -Eq '^Inst tunecase |^tunecase is already the newest version' "$WORK/apt.log"; then
  cat "$WORK/apt.log"
  fail "apt-get install -s ./$(basename "$DEB") did not plan the install"
fi

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "ok: $(basename "$DEB"), $(wc -l <"$WORK/files") entries; Depends: $depends"
