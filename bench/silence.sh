#!/usr/bin/env bash
# Times the silence scan on a one-hour 128 kbit/s MP3 with pauses against mp3splt's silence
# detection on the same file, and reports peak memory for a one-hour and a two-hour file.
#
#   bench/silence.sh [BUILD_DIR]        (default: build)
#
# Measured as whole processes (bench/lib.sh: best of five after a warm-up):
#   - qm-bench-silence-scan scan (FindSilenceMarks with the default options)
#                                       vs  mp3splt -s -P (pretend: the scan alone), when installed
# The inputs (20 tracks of 178 s with 2 s pauses of digital silence or noise at -70 dB, and
# the same for two hours) are generated once with BUILD_DIR/bench/qm-bench-silence-scan and
# cached in bench/.cache/. mp3splt is optional and only used here (`apt-get install -y
# mp3splt`); /usr/bin/time comes from the package `time`.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
scanner="$build/bench/qm-bench-silence-scan"
cache="$here/.cache"

source "$here/lib.sh"
require_built silence.sh "$scanner"

# make_paused_input SECONDS: the cached input of that length, made once.
make_paused_input() {
    local path="$cache/paused-$1s-128k.mp3"
    mkdir -p "$cache"
    if [[ ! -s "$path" ]]; then
        echo "Making the $1 s input with pauses (once) ..." >&2
        "$scanner" make "$path.part" "$1"
        mv "$path.part" "$path"
    fi
    echo "$path"
}

hour="$(make_paused_input 3600)"
two_hours="$(make_paused_input 7200)"
echo "Input: $hour ($(($(stat -c %s "$hour") / 1048576)) MiB, 3600 s, 128 kbit/s)"
echo
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

measure scan 5 "$scanner" scan "$hour"
measure scan2h 1 "$scanner" scan "$two_hours"
have_mp3splt=0
if command -v mp3splt >/dev/null; then
    have_mp3splt=1
    measure mp3splt 5 mp3splt -q -N -s -P -d "$work/out" "$hour"
fi

printf '%-34s %11s %14s  %s\n' "" "wall" "peak RSS" "ratio"
row "FindSilenceMarks (1 h)" scan "$("$scanner" scan "$hour" | wc -l) marks"
row "FindSilenceMarks (2 h)" scan2h "peak RSS 2 h / 1 h: $(ratio "${peak[scan2h]}" "${peak[scan]}")"
if ((have_mp3splt)); then
    row "mp3splt -s -P (1 h)" mp3splt
    echo "  silence scan / mp3splt -s: $(ratio "${wall[scan]}" "${wall[mp3splt]}") (the aim: at most 0.20)"
else
    echo "  (mp3splt not installed: apt-get install -y mp3splt)"
fi
