#!/usr/bin/env bash
# Times loading 1,000 four-minute 128 kbit/s MP3 files into a file list through the list's own
# search, analysis and row filling (the path a dropped folder takes), on the offscreen
# platform, for the joiner's list (frame analysis) and the batch splitter's (decoded source).
# Also checks that Cancel is answered quickly throughout: the longest wait between two rounds
# of the event loop during the load, and loads cancelled at several moments.
#
#   bench/load_list.sh [BUILD_DIR]        (default: build)
#
# Ten different files are encoded once with the test kit and cached in bench/.cache/; the
# 1,000 names are hard links to them, so every name is opened and analysed on its own while
# the disk holds 38 MB instead of 3.8 GB. Target: under 3 s for the 1,000 files, Cancel
# answered within 100 ms.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
loader="$build/bench/qm-bench-load-list"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache/list-240s-128k"
unique=10
count=1000

for tool in "$loader" "$maker"; do
    if [[ ! -x "$tool" ]]; then
        echo "bench/load_list.sh: $tool is missing; build it first:" >&2
        echo "  cmake --build $build --target qm-bench-load-list qm-make-fixture" >&2
        exit 2
    fi
done

mkdir -p "$cache"
for ((i = 0; i < unique; i++)); do
    file="$cache/song$i.mp3"
    if [[ ! -s "$file" ]]; then
        echo "Making $file (once) ..."
        # Lengths differ by a second so that the files differ.
        "$maker" long "$file.part" $((240 + i)) 128
        mv "$file.part" "$file"
    fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/list"
for ((i = 0; i < count; i++)); do
    ln "$cache/song$((i % unique)).mp3" "$work/list/track$(printf %04d "$i").mp3"
done
echo "Input: $count files, hard links to $unique files of $(du -m "$cache/song0.mp3" | cut -f1) MB each"
# A warm-up read puts the files in the page cache, as a folder the user just browsed is.
cat "$cache"/*.mp3 >/dev/null

for kind in joiner batchsplitter; do
    echo
    QT_QPA_PLATFORM=offscreen "$loader" "$work/list" "$kind" 50 200 400 600
done
