#!/usr/bin/env bash
# Times quillmere-cli info on a one-hour 128 kbit/s MP3 against reading the same file with
# cat, and reports peak memory.
#
#   bench/info.sh [BUILD_DIR]        (default: build)
#
# info opens and analyses the file (start search, a decoder scan of every frame for the exact
# length) and then walks every frame, so it reads the file about twice; cat reads it once.
# Both run with the file in the page cache (one warm-up run first). With hyperfine installed
# the times are its means over several runs; otherwise the best of five runs under
# /usr/bin/time -v. The input is generated once with the test kit
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

if [[ ! -x /usr/bin/time ]]; then
    echo "bench/info.sh: /usr/bin/time is missing (apt-get install -y time)" >&2
    exit 2
fi
for tool in "$cli" "$maker"; do
    if [[ ! -x "$tool" ]]; then
        echo "bench/info.sh: $tool is missing; build it first:" >&2
        echo "  cmake --build $build --target quillmere-cli qm-make-fixture" >&2
        exit 2
    fi
done

mkdir -p "$cache"
if [[ ! -s "$input" ]]; then
    echo "Making the one-hour input (once) ..."
    "$maker" long "$input.part" 3600 128
    mv "$input.part" "$input"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# measure NAME COMMAND...: best wall seconds of $runs runs and the peak resident size (KiB)
# of the largest run, into the arrays below.
declare -A wall peak
measure() {
    local name="$1"
    shift
    "$@" >/dev/null 2>&1 || { echo "bench/info.sh: $name failed" >&2; exit 1; }  # warm-up
    local best="" most=0
    for ((i = 0; i < runs; i++)); do
        local log="$work/$name.$i.time"
        /usr/bin/time -v -o "$log" "$@" >/dev/null 2>"$work/$name.stderr" ||
            { echo "bench/info.sh: $name failed:" >&2; cat "$work/$name.stderr" >&2; exit 1; }
        # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:01.23"
        local seconds kib
        seconds="$(awk -F': ' '/Elapsed \(wall clock\)/ {
            n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$log")"
        kib="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")"
        if [[ -z "$best" ]] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best="$seconds"
        fi
        ((kib > most)) && most="$kib"
    done
    wall[$name]="$best"
    peak[$name]="$most"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

size_bytes=$(stat -c %s "$input")
echo "Input: $input ($((size_bytes / 1048576)) MiB, 3600 s, 128 kbit/s)"
echo

measure cat cat "$input"
measure startup "$cli" --version
measure info "$cli" info --json "$input"
printf '%-26s %8.3f s %10d KiB\n' "cat FILE >/dev/null" "${wall[cat]}" "${peak[cat]}"
printf '%-26s %8.3f s %10d KiB\n' "quillmere-cli --version" "${wall[startup]}" "${peak[startup]}"
printf '%-26s %8.3f s %10d KiB\n' "quillmere-cli info --json" "${wall[info]}" "${peak[info]}"
echo
echo "info / cat time: $(ratio "${wall[info]}" "${wall[cat]}")"
echo "(--version is the program's start-up alone: loading its libraries)"
echo "info peak memory: ${peak[info]} KiB for a $((size_bytes / 1048576)) MiB file"

if command -v hyperfine >/dev/null; then
    echo
    hyperfine --warmup 1 --runs "$runs" -N "cat $input" "$cli info --json $input"
fi
