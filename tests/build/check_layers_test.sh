#!/usr/bin/env bash
# The build's layer check against small trees: every include it must refuse is refused with the
# file and the layer named, and the includes it must let through (a layer's own, one it lists,
# the picture controls from window code, anything from the command line) pass. Then the real
# tree passes.
#
# usage: check_layers_test.sh CHECK_SCRIPT LAYERS SOURCE_DIR
set -uo pipefail
CHECK=$1 LAYERS=$2 SOURCE=$3
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

# case: EXPECT(pass|fail) FILE INCLUDE
while read -r expect file include; do
  [ -z "$expect" ] && continue
  rm -rf "$WORK/src" && mkdir -p "$WORK/src/$(dirname "$file")"
  printf '#include <vector>\n  #  include "%s"\n' "$include" > "$WORK/src/$file"
  out=$(cmake -DSOURCE_DIR="$WORK/src" "-DLAYERS=$LAYERS" -P "$CHECK" 2>&1)
  status=$?
  layer=${include%%/*}
  if [ "$expect" = pass ] && [ $status -ne 0 ]; then
    echo "FAIL: $file including $include was refused: $out"; failures=$((failures + 1))
  elif [ "$expect" = fail ] && { [ $status -eq 0 ] || ! grep -q "src/$file: $layer/ is not a layer" <<<"$out"; }; then
    echo "FAIL: $file including $include went through ($status): $out"; failures=$((failures + 1))
  fi
done <<'CASES'
fail songs/export.h          platform/offline_renderer.h
fail net/upload_render.cpp   platform/loudness.h
fail midi/midi_file.cpp      playback/midi_player.h
fail base/utilities.h        midi/midi_event.h
fail strips/strip.cpp        net/song_store.h
fail compose/melody.cpp      app/player_controller.h
fail songs/gui/export_dlg.h  platform/offline_renderer.h
fail cli/main.cpp            app/player_controller.h
pass songs/export.h          playback/song_audio.h
pass songs/export.cpp        songs/export.h
pass songs/gui/export_dlg.h  controls/gui/picture_button.h
pass app/gui/main.cpp        strips/strip.h
pass cli/main.cpp            net/song_store.h
pass base/utilities.cpp      ebur128/ebur128.h
CASES

cmake -DSOURCE_DIR="$SOURCE" "-DLAYERS=$LAYERS" -P "$CHECK" || { echo "FAIL: the tree itself"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && echo passed
exit $((failures > 0))
