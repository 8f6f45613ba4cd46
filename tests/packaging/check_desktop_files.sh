#!/bin/bash
# Checks the desktop-integration files with the tools that read them once installed:
# the desktop entry, the AppStream metadata (alone and in a staged install tree), the
# icon, and both manual pages. The tunecase-cli page must name every subcommand and
# every long option the program's own --help lists, so it cannot fall behind.
#
# usage: check_desktop_files.sh PACKAGING_DIR TUNECASE_CLI
# exit 0 all good, 1 something failed, 77 a needed tool is missing (skipped).
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 PACKAGING_DIR TUNECASE_CLI" >&2
    exit 2
fi
pkg=$(cd "$1" && pwd)
cli=$2
id=org.tunecase.Tunecase

for tool in desktop-file-validate appstreamcli rsvg-convert groff man python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
if [[ ! -x $cli ]]; then
    echo "FAIL: $cli is not an executable"
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Runs a validator; any output at all (errors, warnings, hints) counts as a failure.
quiet() {
    local what=$1
    shift
    local out
    if ! out=$("$@" 2>&1) || [[ -n $out ]]; then
        fail "$what"
        printf '%s\n' "$out" | sed 's/^/    /'
    fi
}

# Runs appstreamcli; it passes when it succeeds and reports nothing but pedantic notes.
appstream() {
    local what=$1
    shift
    local out
    if ! out=$(appstreamcli "$@" 2>&1) || grep -qE '^ *[A-OQ-Z]: ' <<<"$out"; then
        fail "$what"
        printf '%s\n' "$out" | sed 's/^/    /'
    fi
}

# ---- desktop entry and metadata ----

quiet "desktop-file-validate $id.desktop" desktop-file-validate "$pkg/$id.desktop"
appstream "appstreamcli validate $id.metainfo.xml" validate --no-net "$pkg/$id.metainfo.xml"

# What the validators leave to us: the entry starts a program the metadata provides,
# shows our icon and sits in a menu.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$pkg/$id.desktop")
grep -q "<binary>$exec_name</binary>" "$pkg/$id.metainfo.xml" ||
    fail "the desktop entry starts '$exec_name', which the metadata does not provide"
icon_name=$(sed -n 's/^Icon=//p' "$pkg/$id.desktop")
[[ $icon_name == "$id" ]] || fail "the desktop entry's Icon=$icon_name is not $id"
grep -q '^Categories=.' "$pkg/$id.desktop" || fail "the desktop entry has no Categories"

# The files where they are installed: validate-tree also checks that the launchable
# names a desktop entry that is there.
tree=$work/tree/usr/share
mkdir -p "$tree/metainfo" "$tree/applications" "$tree/icons/hicolor/scalable/apps"
cp "$pkg/$id.metainfo.xml" "$tree/metainfo/"
cp "$pkg/$id.desktop" "$tree/applications/"
cp "$pkg/$id.svg" "$tree/icons/hicolor/scalable/apps/"
appstream "appstreamcli validate-tree on the installed layout" validate-tree --no-net "$work/tree"

# The program's version is the newest release of the metadata and the version of both pages.
version=$("$cli" --version | awk '{print $NF}')
newest=$(grep -o -m 1 '<release version="[^"]*"' "$pkg/$id.metainfo.xml" | cut -d'"' -f2)
[[ $newest == "$version" ]] || fail "the newest release in the metadata is '$newest', the program is $version"
for page in tunecase.1 tunecase-cli.1; do
    grep -q "^\.TH .*\"Tunecase $version\"" "$pkg/$page" || fail "$page does not say Tunecase $version in .TH"
done

# ---- icon ----

if grep -qiE '<(image|text|script|foreignObject)\b|href="[^#]' "$pkg/$id.svg"; then
    fail "$id.svg has text, a bitmap, a script or an external reference"
fi
for size in 32 128; do
    png=$work/icon-$size.png
    if ! rsvg-convert -w "$size" -h "$size" -o "$png" "$pkg/$id.svg"; then
        fail "rsvg-convert cannot render $id.svg at $size px"
        continue
    fi
    # Decodes the PNG and wants the picture drawn: most of the square covered, with
    # light and dark parts (a disk with pins and a hub, not one flat colour).
    if ! why=$(python3 - "$png" "$size" 2>&1 <<'EOF'
import struct, sys, zlib
path, size = sys.argv[1], int(sys.argv[2])
data = open(path, "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat, ihdr = 8, b"", None
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b"IHDR":
        ihdr = struct.unpack(">IIBBBBB", body)
    elif kind == b"IDAT":
        idat += body
    pos += 12 + length
width, height, depth, colour, _, _, interlace = ihdr
if (width, height) != (size, size):
    sys.exit(f"{width}x{height}, wanted {size}x{size}")
if depth != 8 or colour not in (2, 6) or interlace:
    sys.exit(f"unexpected PNG layout: depth {depth}, colour type {colour}, interlace {interlace}")
bpp = 4 if colour == 6 else 3
raw, stride = zlib.decompress(idat), width * bpp
rows, prev, i = [], bytearray(stride), 0
for _ in range(height):
    kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
    i += 1 + stride
    for x in range(stride):
        a = line[x - bpp] if x >= bpp else 0
        b = prev[x]
        c = prev[x - bpp] if x >= bpp else 0
        if kind == 1: line[x] = (line[x] + a) & 255
        elif kind == 2: line[x] = (line[x] + b) & 255
        elif kind == 3: line[x] = (line[x] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
lum = [0.299 * r[x] + 0.587 * r[x + 1] + 0.114 * r[x + 2]
       for r in rows for x in range(0, stride, bpp) if bpp == 3 or r[x + 3] >= 128]
covered = len(lum) / (width * height)
if covered < 0.5:
    sys.exit(f"only {covered:.0%} of the square is drawn")
mean = sum(lum) / len(lum)
spread = (sum((v - mean) ** 2 for v in lum) / len(lum)) ** 0.5
if spread < 20:
    sys.exit(f"nearly one flat colour (brightness spread {spread:.1f} of 255)")
EOF
    ); then
        fail "$id.svg rendered at $size px: $why"
    fi
done

# ---- manual pages ----

for page in tunecase.1 tunecase-cli.1; do
    # shellcheck disable=SC2016  # $1 is for the inner shell
    quiet "man --warnings $page" \
        sh -c 'LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$1" >/dev/null' sh "$pkg/$page"
    quiet "groff -ww $page" groff -man -Tutf8 -ww -z "$pkg/$page"
done

# The tunecase-cli page as plain text, one subsection per command ("   name ..." lines).
LC_ALL=C groff -man -Tascii -P-cbou -rLL=250n "$pkg/tunecase-cli.1" 2>/dev/null >"$work/page.txt"

# The help of the command words given; empty when it is not that command's own help.
help_of() {
    local text
    text=$("$cli" "$@" --help 2>&1) || return 0
    if grep -q "^Usage: [^ ]*${*:+ $*} " <<<"$text"; then
        printf '%s\n' "$text"
    fi
}
# Long options a help lists (without --help itself, which the page describes once for all).
listed_options() {
    sed -n 's/^ \{1,\}\(-[A-Za-z],\)\{0,1\}\(--[A-Za-z0-9][A-Za-z0-9-]*\).*/\2/p' <<<"$1" |
        grep -vx -- '--help' || true
}
# Subcommands a help lists.
listed_subcommands() {
    sed -n '/^Subcommands:/,/^$/{s/^  \([a-z][a-z0-9-]*\) .*/\1/p}' <<<"$1"
}
# The page's subsections for the command words given: a heading starts with the first
# word and holds every later word.
page_section() {
    awk -v words="$*" '
        BEGIN { n = split(words, w, " ") }
        /^[A-Z]/ { in_commands = ($0 == "COMMANDS"); keep = 0; next }
        in_commands && /^   [^ ]/ {
            split($0, h, /[][ |]+/)
            keep = (h[2] == w[1])
            for (i = 2; i <= n && keep; i++) keep = index(" " $0 " ", " " w[i] " ") > 0
        }
        keep' "$work/page.txt"
}

grep -q -- '--help' "$work/page.txt" || fail "tunecase-cli.1 does not mention --help"
commands=$(listed_subcommands "$(help_of)")
[[ -n $commands ]] || fail "$cli --help lists no subcommands"
for cmd in $commands; do
    paths=("$cmd")
    for sub in $(listed_subcommands "$(help_of "$cmd")"); do paths+=("$cmd $sub"); done
    for words in "${paths[@]}"; do
        # shellcheck disable=SC2086  # the words of the command path, one argument each
        help=$(help_of $words)
        if [[ -z $help ]]; then
            fail "$cli $words --help does not give that command's help"
            continue
        fi
        # shellcheck disable=SC2086
        section=$(page_section $words)
        if [[ -z $section ]]; then
            fail "tunecase-cli.1 has no subsection for '$words'"
            continue
        fi
        for opt in $(listed_options "$help"); do
            grep -qE -- "(^|[^A-Za-z0-9-])$opt([^A-Za-z0-9-]|\$)" <<<"$section" ||
                fail "tunecase-cli.1 does not describe $opt under '$words'"
        done
    done
done

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all desktop-integration checks passed"
