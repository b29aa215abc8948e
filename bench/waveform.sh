#!/usr/bin/env bash
# Times the waveform strip on a one-hour file: from Load to every level known, and the longest
# wait of the event loop meanwhile (what a click, a key or the play position's timer would
# wait at most). Also times the scan alone in one part and in two, and the manual splitter page
# with the file: loading, the waveform complete while the file plays (dummy device), and clicks
# on the timeline every 100 ms answered meanwhile. Last, the zoomed strip: a one-minute view
# set at five places until its full detail is drawn, and the longest repaint while it scrolls
# across the detail.
#
#   bench/waveform.sh [BUILD_DIR]        (default: build)
#
# The one-hour 128 kbit/s file is encoded once with the test kit and cached in bench/.cache/.
# Targets: complete within 5 s on a two-core machine; the event loop never waits anywhere near
# 100 ms, and every click on the page is answered within 100 ms; a one-minute view drawn at
# full detail within about 100 ms, and no repaint over 16 ms while scrolling.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
strip="$build/bench/qm-bench-waveform"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache/waveform-3600s-128k"
seconds=3600

for tool in "$strip" "$maker"; do
    if [[ ! -x "$tool" ]]; then
        echo "bench/waveform.sh: $tool is missing; build it first:" >&2
        echo "  cmake --build $build --target qm-bench-waveform qm-make-fixture" >&2
        exit 2
    fi
done

mkdir -p "$cache"
file="$cache/hour.mp3"
if [[ ! -s "$file" ]]; then
    echo "Making $file (once; about a minute) ..."
    "$maker" long "$file.part" "$seconds" 128
    mv "$file.part" "$file"
fi
cat "$file" >/dev/null  # every run finds the file in the page cache

echo "$(nproc) cores; $(du -m "$file" | cut -f1) MB, $seconds s"
for run in 1 2 3; do
    SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=offscreen "$strip" "$file" "$seconds" 2>/dev/null
done
for run in 1 2 3; do
    SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=offscreen "$strip" "$file" "$seconds" zoom 2>/dev/null
done
