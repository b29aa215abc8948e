#!/usr/bin/env bash
# Times a batch split by time of 200 files through the batch splitter page ("Split All" under
# its progress window, offscreen) against quillmere-cli splitting the same files the same way,
# and checks that Cancel is answered quickly: the longest wait between two rounds of the event
# loop during the run, and runs cancelled at several moments.
#
#   bench/batch_split.sh [BUILD_DIR]        (default: build)
#
# Ten different one-minute 128 kbit/s files are encoded once with the test kit and cached in
# bench/.cache/; every run gets 200 fresh hard links to them, and the pieces (20 s each) are
# written beside them. Targets: the page within 10 % of the command line; Cancel within 100 ms.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
page="$build/bench/qm-bench-batch-split"
cli="$build/quillmere-cli"
maker="$build/tests/qm-make-fixture"
cache="$here/.cache/batch-60s-128k"
unique=10
count=200

for tool in "$page" "$cli" "$maker"; do
    if [[ ! -x "$tool" ]]; then
        echo "bench/batch_split.sh: $tool is missing; build it first:" >&2
        echo "  cmake --build $build --target qm-bench-batch-split quillmere-cli qm-make-fixture" >&2
        exit 2
    fi
done

mkdir -p "$cache"
for ((i = 0; i < unique; i++)); do
    file="$cache/song$i.mp3"
    if [[ ! -s "$file" ]]; then
        echo "Making $file (once) ..."
        "$maker" long "$file.part" $((60 + i)) 128
        mv "$file.part" "$file"
    fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fresh() {  # a new folder of 200 hard links
    rm -rf "$work/run" && mkdir -p "$work/run"
    for ((i = 0; i < count; i++)); do
        ln "$cache/song$((i % unique)).mp3" "$work/run/track$(printf %03d "$i").mp3"
    done
}
cat "$cache"/*.mp3 >/dev/null

# The two are run in turns: creating many files just after many were deleted slows the file
# system down, and each should meet the same state.
best_cli=""
best_page=""
better() { [[ -z "$2" ]] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
for run in 1 2 3; do
    fresh
    start="$EPOCHREALTIME"
    "$cli" split --time 0:20 "$work"/run/*.mp3 >/dev/null
    end="$EPOCHREALTIME"
    t="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
    echo "quillmere-cli: $count files split in $t s"
    if better "$t" "$best_cli"; then best_cli="$t"; fi
    fresh
    line="$(QT_QPA_PLATFORM=offscreen "$page" "$work/run" 20 2>/dev/null)"
    echo "$line"
    t="$(sed -n 's/.* split in \([0-9.]*\) s.*/\1/p' <<<"$line")"
    if better "$t" "$best_page"; then best_page="$t"; fi
done
echo "quillmere-cli split: $best_cli s; batch splitter page: $best_page s;" \
     "page / command line = $(awk -v a="$best_page" -v b="$best_cli" 'BEGIN { printf "%.2f", a / b }')"
for ms in 100 500 1500; do
    fresh
    QT_QPA_PLATFORM=offscreen "$page" "$work/run" 20 "$ms" 2>/dev/null
done
