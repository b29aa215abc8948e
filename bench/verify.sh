#!/usr/bin/env bash
# What --verify costs: quillmere-cli split and join of a one-hour 128 kbit/s MP3 with and
# without --verify, against one decode of the same outputs.
#
#   bench/verify.sh [BUILD_DIR]        (default: build)
#
# Measured as whole processes (bench/lib.sh: best of three after a warm-up):
#   - direct split into three pieces, plain and with --verify
#   - direct join of those three pieces, plain and with --verify
#   - one decode of the outputs: `mpg123 -t` (decode, no output) of the three pieces, and of the
#     joined file
# The ratio printed is (with --verify - plain) / decode: at most 1 means the check adds no more
# than one decode of what was written. The split checks each piece while the next is written, so
# its ratio can come out below 1; a join has one output, checked once it is complete.
# The input is the one bench/split.sh makes (bench/.cache/); mpg123 comes from the package of
# that name, /usr/bin/time from the package `time`.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
cli="$build/quillmere-cli"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache"
input="$cache/long-3600s-128k.mp3"

source "$here/lib.sh"
require_built verify.sh "$cli" "$maker"
if ! command -v mpg123 >/dev/null; then
    echo "bench/verify.sh: mpg123 is missing (apt-get install -y mpg123)" >&2
    exit 2
fi

make_long_input
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The pieces and the joined file, kept outside $work/out (which every run empties).
pieces="$work/pieces"
mkdir -p "$pieces"
"$cli" split --count 3 -o "$pieces" "$input" >/dev/null
mapfile -t parts < <(ls "$pieces"/*.mp3)
joined="$work/joined.mp3"
"$cli" join -o "$joined" "${parts[@]}" >/dev/null

measure split 3 "$cli" split --count 3 -o "$work/out" "$input"
measure split_verify 3 "$cli" split --verify --count 3 -o "$work/out" "$input"
measure decode_pieces 3 mpg123 -q -t "${parts[@]}"
measure join 3 "$cli" join -o "$work/out/joined.mp3" "${parts[@]}"
measure join_verify 3 "$cli" join --verify -o "$work/out/joined.mp3" "${parts[@]}"
measure decode_joined 3 mpg123 -q -t "$joined"

added() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { if (d > 0) printf "%.2f", (a - b) / d; else print "n/a" }'; }

printf '%-34s %11s %14s  %s\n' "" "wall" "peak RSS" ""
row "split --count 3" split
row "split --count 3 --verify" split_verify
row "mpg123 -t of the three pieces" decode_pieces
row "join of the three pieces" join
row "join --verify" join_verify
row "mpg123 -t of the joined file" decode_joined
echo
echo "  split: what --verify adds / one decode of the pieces:      $(added "${wall[split_verify]}" "${wall[split]}" "${wall[decode_pieces]}")"
echo "  join:  what --verify adds / one decode of the joined file: $(added "${wall[join_verify]}" "${wall[join]}" "${wall[decode_joined]}")"
