#!/usr/bin/env bash
# Join benchmarks, whole processes timed:
#   1. direct join of three 20-minute MP3 files against `cat` of the same files;
#   2. a re-encoding join of mixed formats (44.1 kHz stereo MP3, 22.05 kHz mono MP3, 48 kHz
#      stereo WAV) against ffmpeg decoding, concatenating and encoding with libmp3lame, both at
#      44.1 kHz, 128 kbit/s, joint stereo (only when ffmpeg is installed).
# The inputs are made once and kept in BUILD/bench-cache.
#   bench/join.sh [BUILD]        (BUILD defaults to build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
CLI=$build/quillmere-cli
MAKE=$build/tests/qm-make-fixture
CACHE=$build/bench-cache/join
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

source bench/lib.sh
work=$WORK
require_built join.sh "$CLI" "$MAKE"
mkdir -p "$CACHE"

# Drops the leading Info frame the fixture tool writes, so the files can be joined by
# copying frames (a file with an Info frame is re-encoded by the automatic choice).
strip_info() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
b1, b2 = data[1], data[2]
mpeg1 = (b1 >> 3) & 3 == 3
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320][b2 >> 4]
hz = [44100, 48000, 32000][(b2 >> 2) & 3] // (1 if mpeg1 else 2)
size = (144 if mpeg1 else 72) * kbps * 1000 // hz + ((b2 >> 1) & 1)
assert data[size] == 0xFF, "no frame after the Info frame"
open(sys.argv[2], 'wb').write(data[size:])
PY
}

# A 48 kHz stereo 16-bit WAV of a chord, seconds long.
make_wav() {
  python3 - "$1" "$2" <<'PY'
import array, math, sys, wave
seconds, rate = int(sys.argv[2]), 48000
second = array.array('h')
for i in range(rate):
    t = i / rate
    second.append(int(9000 * math.sin(2 * math.pi * 262 * t)))
    second.append(int(9000 * math.sin(2 * math.pi * 392 * t)))
with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    for _ in range(seconds):
        w.writeframes(second.tobytes())
PY
}

for n in 1 2 3; do
  if [ ! -f "$CACHE/long$n.mp3" ]; then
    "$MAKE" long "$WORK/info.mp3" 1200 128 >/dev/null
    strip_info "$WORK/info.mp3" "$CACHE/long$n.mp3"
  fi
done
if [ ! -f "$CACHE/mixed-a.mp3" ]; then
  "$MAKE" long "$CACHE/mixed-a.mp3" 300 128 >/dev/null
  "$CLI" join -o "$CACHE/mixed-b.mp3" --rate 22050 --bitrate 64 --channels mono \
    "$CACHE/mixed-a.mp3" "$CACHE/mixed-a.mp3" >/dev/null
  make_wav "$CACHE/mixed-c.wav" 300
fi

LONG=("$CACHE/long1.mp3" "$CACHE/long2.mp3" "$CACHE/long3.mp3")
MIXED=("$CACHE/mixed-a.mp3" "$CACHE/mixed-b.mp3" "$CACHE/mixed-c.wav")

# The fast commands: best of five after a warm-up; the re-encoding ones: best of three.
# (cat writes through a shell's redirection, so it carries a shell's start-up, about 1 ms.)
measure direct 5 "$CLI" join -o "$WORK/out/direct.mp3" "${LONG[@]}"
mv "$WORK/out/direct.mp3" "$WORK/direct.mp3"
measure cat 5 sh -c 'cat "$@" > "$0"' "$WORK/out/cat.mp3" "${LONG[@]}"
# quillmere-cli flushes an output to the device before it puts it in place; cat followed by
# sync of its output is the like-for-like comparison.
measure catsync 5 sh -c 'cat "$@" > "$0" && sync "$0"' "$WORK/out/cat.mp3" "${LONG[@]}"
mv "$WORK/out/cat.mp3" "$WORK/cat.mp3"
# The join heads the frames with one Xing frame of its own; the frames after it are cat's.
header=$(( $(stat -c %s "$WORK/direct.mp3") - $(stat -c %s "$WORK/cat.mp3") ))
cmp -s <(tail -c +$((header + 1)) "$WORK/direct.mp3") "$WORK/cat.mp3" &&
  same="the same frames after a ${header}-byte Xing frame" || same="FRAMES DIFFER"
size_mb=$(( $(stat -c %s "$WORK/cat.mp3") / 1048576 ))
measure reencode 3 "$CLI" join -o "$WORK/out/re.mp3" --rate 44100 --bitrate 128 --channels joint "${MIXED[@]}"

echo "Direct join, 3 x 20 min at 128 kbit/s (${size_mb} MB out; output vs cat: $same):"
row "  quillmere-cli join" direct "$(ratio "${wall[direct]}" "${wall[catsync]}") x cat+sync, $(ratio "${wall[direct]}" "${wall[cat]}") x cat"
row "  cat + sync" catsync
row "  cat" cat
echo "Re-encoding join, 3 x 5 min mixed (MP3 44.1k stereo, MP3 22.05k mono, WAV 48k) -> 44.1 kHz 128 kbit/s:"
if command -v ffmpeg >/dev/null; then
  measure ffmpeg 3 ffmpeg -nostdin -loglevel error -y -i "${MIXED[0]}" -i "${MIXED[1]}" -i "${MIXED[2]}" \
    -filter_complex "[0:a]aresample=44100,aformat=channel_layouts=stereo[a0];[1:a]aresample=44100,aformat=channel_layouts=stereo[a1];[2:a]aresample=44100,aformat=channel_layouts=stereo[a2];[a0][a1][a2]concat=n=3:v=0:a=1" \
    -c:a libmp3lame -b:a 128k -joint_stereo 1 "$WORK/out/ff.mp3"
  row "  quillmere-cli join" reencode "$(ratio "${wall[reencode]}" "${wall[ffmpeg]}") x ffmpeg"
  row "  ffmpeg + libmp3lame" ffmpeg
else
  row "  quillmere-cli join" reencode
  echo "  ffmpeg not installed: no comparison"
fi
