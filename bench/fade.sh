#!/usr/bin/env bash
# Times a split of a five-minute 128 kbit/s MP3 into three pieces with a 3 s fade-in and
# fade-out done without re-encoding (each granule's global gain stepped) against the same fades
# done by decoding and encoding every piece again, and reports peak memory.
#
#   bench/fade.sh [BUILD_DIR]        (default: build)
#
# Measured as whole processes (bench/lib.sh: best of five after a warm-up for the lossless
# fades, best of two for the re-encoding ones):
#   - split --count 3 --fade-in 3 --fade-out 3              (frames copied, gains stepped)
#   - split --count 3 --fade-in 3 --fade-out 3 --reencode   (decoded, faded, encoded again)
#   - split --count 3                                        (frames copied, no fade)
# The input is generated once with the test kit (BUILD_DIR/tests/qm-make-fixture) and cached
# in bench/.cache/; /usr/bin/time comes from the package `time`.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
cli="$build/quillmere-cli"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache"
input="$cache/five-300s-128k.mp3"

source "$here/lib.sh"
require_built fade.sh "$cli" "$maker"

mkdir -p "$cache"
if [[ ! -s "$input" ]]; then
    echo "Making the five-minute input (once) ..."
    "$maker" long "$input.part" 300 128
    mv "$input.part" "$input"
fi
echo "Input: $input ($(($(stat -c %s "$input") / 1024)) KiB, 300 s, 128 kbit/s)"
echo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fades=(--count 3 --fade-in 3 --fade-out 3)
measure plain 5 "$cli" split --count 3 -o "$work/out" "$input"
measure lossless 5 "$cli" split "${fades[@]}" -o "$work/out" "$input"
measure reencoded 2 "$cli" split "${fades[@]}" --reencode -o "$work/out" "$input"

printf '%-34s %11s %14s  %s\n' "" "wall" "peak RSS" "ratio"
row "direct split, no fades" plain
row "fades by global gain" lossless "$(ratio "${wall[lossless]}" "${wall[plain]}") x the plain split"
row "fades by re-encoding" reencoded
echo "  re-encoding fades / lossless fades: $(ratio "${wall[reencoded]}" "${wall[lossless]}") (the aim: at least 20)"
