#!/usr/bin/env bash
# An upload's way to a phone: our server (tunecase-cli serve) on a free port with a public
# address of its own, `tunecase-cli upload --png` against it, the QR code read back by zbarimg
# to the page's address, that address fetched (the page, its MIDI file and its sound, which sox
# must decode), and the page at a phone's width (390 px) in the embedded browser under Xvfb,
# saved as upload-page.png for a person to look at.
#
# usage: upload_page.sh TUNECASE_CLI SONG.mid OUTPUT_FOLDER [PAGE_SHOT]
# Exits 77 (skipped) when zbarimg or curl is missing; sox and the screenshot are skipped, with
# a note, when sox, Xvfb or the page-shot program is missing.
set -euo pipefail

CLI=$(realpath -e "$1")
SONG=$(realpath -e "$2")
OUT=$3
SHOT=${4:-}
. "$(dirname "$0")/e2e_lib.sh"
need zbarimg curl
OUT=$(output_folder "$OUT")
WORK=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/library"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The public address differs from the one the upload goes to, as it does behind a proxy.
public="http://localhost:$port"
"$CLI" serve --library "$WORK/library" --db "$WORK/state/tunecase.db" --port "$port" --public-url "$public" \
  >"$WORK/server.out" 2>"$WORK/server.log" &
server_pid=$!
wait_until 5 grep -q "http://127.0.0.1:$port" "$WORK/server.out" ||
  { echo "FAIL: the server did not start"; cat "$WORK/server.log"; exit 1; }

"$CLI" upload --server "http://127.0.0.1:$port" --png "$WORK/code.png" "$SONG" >"$WORK/upload.out"
key=$(sed -n 's/^key \([A-Za-z0-9]*\)$/\1/p' "$WORK/upload.out")
[ -n "$key" ] || { echo "FAIL: no key in the upload's output"; cat "$WORK/upload.out"; exit 1; }
grep -qx "page $public/s/$key" "$WORK/upload.out" || fail "the upload printed no page address"

# The code carries the page's full address.
decoded=$(zbarimg --quiet --raw "$WORK/code.png")
[ "$decoded" = "$public/s/$key" ] || fail "the QR code reads '$decoded', not '$public/s/$key'"

# The page, as a phone fetches it from the code.
headers=$(curl -sS -D - -o "$WORK/page.html" "$decoded")
grep -qi '^x-tunecase-server: 1' <<<"$headers" || fail "the page's answer does not say the server is ours"
grep -qi "^content-security-policy: default-src 'none'" <<<"$headers" || fail "the page has no security policy"
grep -q '<meta name="viewport"' "$WORK/page.html" || fail "the page is not set for phones"
grep -q "href=\"$key.mid\"" "$WORK/page.html" || fail "the page has no link to the MIDI file"
grep -q 'Made with Tunecase' "$WORK/page.html" || fail "the page has no 'Made with Tunecase' line"
curl -sS -o "$WORK/back.mid" "$decoded.mid"
cmp -s "$SONG" "$WORK/back.mid" || fail "the MIDI file from the page differs from the one uploaded"

# The sound is made after the upload: the page has its player once it is there.
if [ -e /usr/share/sounds/sf2/default-GM.sf2 ]; then
  wait_until 60 sh -c "curl -sf -o '$WORK/song.ogg' '$decoded.ogg'" || fail "no sound at $decoded.ogg"
  curl -sS -o "$WORK/page.html" "$decoded"
  grep -q "<audio controls preload=\"metadata\" src=\"$key.ogg\">" "$WORK/page.html" || fail "the page has no player"
  if command -v sox >/dev/null; then
    seconds=$(sox --i -D "$WORK/song.ogg") || fail "sox cannot read the sound"
    sox "$WORK/song.ogg" -n stat 2>"$WORK/stat.txt" || fail "sox cannot decode the sound"
    peak=$(awk '/Maximum amplitude/ {print $3}' "$WORK/stat.txt")
    echo "sound: $seconds s, peak amplitude $peak"
    awk -v s="$seconds" -v p="$peak" 'BEGIN { exit !(s > 1 && p > 0.05) }' ||
      fail "the sound is silent or too short ($seconds s, peak $peak)"
  else
    echo "note: sox is missing; the sound was not decoded"
  fi
else
  echo "note: no soundfont; the page has no sound"
fi

# The page at a phone's width in the embedded browser.
if [ -n "$SHOT" ] && [ -x "$SHOT" ] && command -v xvfb-run >/dev/null; then
  unset QT_QPA_PLATFORM
  if xvfb-run -a -s "-screen 0 1024x900x24" "$SHOT" "$decoded" "$OUT/upload-page.png" 390 844 \
      >"$WORK/shot.log" 2>&1; then
    echo "screenshot $OUT/upload-page.png"
    if [ -x /usr/bin/identify ]; then
      size=$(/usr/bin/identify -format '%wx%h %k' "$OUT/upload-page.png")
      echo "  $size colours"
      [[ $size == 390x844* ]] || fail "the screenshot is $size, not 390x844"
    fi
  else
    fail "the page did not load in the embedded browser"
    cat "$WORK/shot.log"
  fi
else
  echo "note: no embedded browser or Xvfb; no screenshot"
fi

grep -q "GET /s/$key 200" "$WORK/server.log" || fail "the server did not log the page's request"
[ "$failures" -eq 0 ] && echo "passed" || exit 1
