#!/usr/bin/env bash
# Runs two builds of quillmere-cli over the same generated files with the same commands and
# compares every file they write, name and bytes: for checking that a change to the engines
# leaves the outputs as they were.
#
#   bench/compare_cli.sh OLD_CLI NEW_CLI [QM_MAKE_FIXTURE]
#
# The inputs: a tagged demo file, 60 s at 128 kbit/s, 61 s at 96 kbit/s, and a 22050 Hz mono
# file re-encoded by OLD_CLI. The commands cover direct and re-encoding splits in every mode,
# fades, overlaps, naming and tag options, direct and re-encoding joins with tags, and batch
# joins. Prints one line per command and exits 1 when any output differs.
set -euo pipefail

old="$1"
new="$2"
maker="${3:-$(dirname "$0")/../build/tests/qm-make-fixture}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/in"
"$maker" demo "$work/in/demo.mp3" >/dev/null
"$maker" long "$work/in/long60.mp3" 60 128 >/dev/null
"$maker" long "$work/in/long61.mp3" 61 96 >/dev/null
"$old" join -o "$work/in/mono22.mp3" --rate 22050 --bitrate 32 --channels mono \
    "$work/in/demo.mp3" "$work/in/long61.mp3" >/dev/null

commands=(
    "split --count 3 IN/long60.mp3"
    "split --time 0:20 IN/long61.mp3 IN/demo.mp3"
    "split --size 300KB IN/long60.mp3"
    "split --points 5,10,15 --skip 2 IN/long60.mp3"
    "split --range 5,10 IN/long61.mp3"
    "split --range 50 IN/long60.mp3"
    "split --first 2 --time 0:10 --name %F%_%S%_%N% --name-digits 3 IN/long60.mp3 IN/demo.mp3"
    "split --count 2 --no-tag IN/demo.mp3"
    "split --count 2 --track piece --title %F%:%P%of%T% IN/demo.mp3"
    "split --lead-in 1 --tail 1.5 --count 3 IN/long60.mp3"
    "split --reencode --count 2 IN/long61.mp3"
    "split --reencode --rate 22050 --bitrate 48 --channels mono --time 0:25 IN/long60.mp3"
    "split --fade-in 2 --fade-out 3 --count 2 IN/long60.mp3"
    "split --count 3 IN/mono22.mp3"
    "split --reencode --time 0:20 IN/mono22.mp3"
    "join -o OUT/direct.mp3 IN/long60.mp3 IN/long60.mp3"
    "join -o OUT/reenc.mp3 IN/long60.mp3 IN/mono22.mp3"
    "join -o OUT/tagged.mp3 --title T --artist A --album L --year 2026 --comment C --genre Rock --track 300 IN/long61.mp3 IN/demo.mp3"
    "join -o OUT/fixed.mp3 --rate 32000 --bitrate 96 --channels stereo IN/long60.mp3 IN/long61.mp3"
    "join --batch --prepend --with IN/demo.mp3 -o OUT IN/long60.mp3 IN/long61.mp3"
    "join --batch --append --with IN/demo.mp3 IN/mono22.mp3 -o OUT IN/long60.mp3"
)

differences=0
for command in "${commands[@]}"; do
    for side in old new; do
        rm -rf "$work/$side"
        mkdir -p "$work/$side/out"
        cp -r "$work/in" "$work/$side/in"
        program="$old"
        [[ $side == new ]] && program="$new"
        args="${command//IN/$work/$side/in}"
        args="${args//OUT/$work/$side/out}"
        # Splits write into the output folder; joins name their own targets.
        extra=()
        [[ $args == split* ]] && extra=(-o "$work/$side/out")
        # shellcheck disable=SC2086
        "$program" $args "${extra[@]}" >"$work/$side.stdout" 2>"$work/$side.stderr" || true
        (cd "$work/$side/out" && find . -type f -print0 | sort -z | xargs -0 -r md5sum) >"$work/$side.sums"
    done
    if cmp -s "$work/old.sums" "$work/new.sums" && [[ -s "$work/new.sums" ]]; then
        echo "same ($(wc -l <"$work/new.sums") files): $command"
    else
        echo "DIFFERENT: $command"
        diff "$work/old.sums" "$work/new.sums" | head -10 || true
        differences=1
    fi
done
exit "$differences"
