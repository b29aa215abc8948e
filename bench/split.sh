#!/usr/bin/env bash
# Times quillmere-cli split on a one-hour 128 kbit/s MP3 against reference work on the same
# file, and reports peak memory.
#
#   bench/split.sh [BUILD_DIR]        (default: build)
#
# Measured as whole processes (bench/lib.sh: best of five after a warm-up for the fast ones,
# one run of each re-encoding):
#   - direct split into three pieces      vs  cp of the same file
#                                         vs  mp3splt -f into three pieces (when installed)
#   - re-encoding split into three pieces vs  lame --mp3input of the whole file (when installed)
# The input is generated once with the test kit (BUILD_DIR/tests/qm-make-fixture) and cached
# in bench/.cache/. The peer tools are optional and only used here: mp3splt can be installed
# with `apt-get install -y mp3splt`, the LAME front end with `apt-get install -y lame`;
# /usr/bin/time comes from the package `time`.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
cli="$build/quillmere-cli"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache"
input="$cache/long-3600s-128k.mp3"

source "$here/lib.sh"
require_built split.sh "$cli" "$maker"

make_long_input
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The fast commands: best of five after a warm-up; the re-encoding ones: one run each.
measure cp 5 cp "$input" "$work/out/copy.mp3"
# quillmere-cli flushes its outputs to the device before it puts them in place; cp followed
# by sync of the copy is the like-for-like comparison.
measure cpsync 5 sh -c 'cp "$1" "$2" && sync "$2"' sh "$input" "$work/out/copy.mp3"
measure direct 5 "$cli" split --count 3 -o "$work/out" "$input"
have_mp3splt=0
if command -v mp3splt >/dev/null; then
    have_mp3splt=1
    measure mp3splt 5 mp3splt -q -f -S 3 -d "$work/out" "$input"
fi
measure reencode 1 "$cli" split --count 3 --reencode -o "$work/out" "$input"
have_lame=0
if command -v lame >/dev/null; then
    have_lame=1
    measure lame 1 lame --quiet --mp3input -b 128 "$input" "$work/out/whole.mp3"
fi

printf '%-34s %11s %14s  %s\n' "" "wall" "peak RSS" "ratio"
row "cp (whole file)" cp
row "cp + sync" cpsync
row "quillmere-cli split --count 3" direct "$(ratio "${wall[direct]}" "${wall[cpsync]}") x cp+sync, $(ratio "${wall[direct]}" "${wall[cp]}") x cp"
if ((have_mp3splt)); then
    row "mp3splt -f -S 3" mp3splt "$(ratio "${wall[mp3splt]}" "${wall[cp]}") x cp"
    echo "  direct split / mp3splt: $(ratio "${wall[direct]}" "${wall[mp3splt]}")"
else
    echo "  (mp3splt not installed: apt-get install -y mp3splt)"
fi
row "quillmere-cli split --reencode" reencode
if ((have_lame)); then
    row "lame --mp3input -b 128" lame
    echo "  re-encoding split / lame: $(ratio "${wall[reencode]}" "${wall[lame]}")"
else
    echo "  (lame front end not installed: apt-get install -y lame)"
fi
