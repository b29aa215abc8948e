#!/usr/bin/env bash
# Times quillmere-cli info on a one-hour 128 kbit/s MP3 against reading the same file with
# cat, and reports peak memory.
#
#   bench/info.sh [BUILD_DIR]        (default: build)
#
# info opens and analyses the file (start search; the length from a Xing/Info frame that agrees
# with the file, otherwise one walk over every frame) and then walks every frame; cat reads
# the file once. Both run with the file in the page cache: best of five runs after a warm-up
# (bench/lib.sh). The input is generated once with the test kit
# (BUILD_DIR/tests/qm-make-fixture) and cached in bench/.cache/ (shared with bench/split.sh).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
cli="$build/quillmere-cli"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache"
input="$cache/long-3600s-128k.mp3"
runs=5

source "$here/lib.sh"
require_built info.sh "$cli" "$maker"

make_long_input
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

measure cat "$runs" cat "$input"
measure startup "$runs" "$cli" --version
measure info "$runs" "$cli" info --json "$input"
row "cat FILE >/dev/null" cat
row "quillmere-cli --version" startup "(start-up alone: loading the libraries)"
row "quillmere-cli info --json" info "$(ratio "${wall[info]}" "${wall[cat]}") x cat"
echo
echo "info peak memory: ${peak[info]} KiB for a $(( $(stat -c %s "$input") / 1048576 )) MiB file"
