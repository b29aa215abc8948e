# Shared by the bench scripts (sourced, not run). Whole processes are timed with bash's
# microsecond clock; /usr/bin/time gives their peak resident size.
#
# The sourcing script sets `work` (a scratch folder) first. Every run starts with an empty
# $work/out, so that outputs never meet the previous run's files.

if [[ ! -x /usr/bin/time ]]; then
    echo "bench: /usr/bin/time is missing (apt-get install -y time)" >&2
    exit 2
fi

declare -A wall peak

# require_built SCRIPT PROGRAM...: stops, saying how to build them, when a program the script
# runs is missing from the build folder ($build).
require_built() {
    local script=$1 tool
    shift
    for tool in "$@"; do
        if [[ ! -x "$tool" ]]; then
            echo "bench/$script: $tool is missing; build it first:" >&2
            echo "  cmake --build $build --target quillmere-cli qm-make-fixture" >&2
            exit 2
        fi
    done
}

# measure NAME RUNS COMMAND...: the best wall seconds of RUNS runs into wall[NAME], the
# largest peak resident size (KiB) into peak[NAME]. With more than one run, one untimed
# warm-up run comes first, so that every timed run finds the input in the page cache.
measure() {
    local name="$1" runs="$2"
    shift 2
    local first=1 i best="" most=0
    ((runs > 1)) && first=0
    for ((i = first; i <= runs; i++)); do
        rm -rf "$work/out" && mkdir -p "$work/out"
        local start="$EPOCHREALTIME"
        if ! /usr/bin/time -f %M -o "$work/$name.rss" "$@" >/dev/null 2>"$work/$name.stderr"; then
            echo "bench: $name failed:" >&2
            cat "$work/$name.stderr" >&2
            exit 1
        fi
        local end="$EPOCHREALTIME"
        ((i == 0)) && continue
        local seconds kib
        seconds="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')"
        kib="$(tail -n 1 "$work/$name.rss")"
        if [[ -z "$best" ]] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best="$seconds"
        fi
        ((kib > most)) && most="$kib"
    done
    wall[$name]="$best"
    peak[$name]="$most"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# row LABEL NAME [NOTE]: one line of wall time, peak memory and a note.
row() { printf '%-34s %9.3f s %10d KiB  %s\n' "$1" "${wall[$2]}" "${peak[$2]}" "${3:-}"; }

# make_long_input: the one-hour 128 kbit/s input the split, info and verify benches share,
# made once with the test kit ($maker) into $input (bench/.cache/), and announced.
make_long_input() {
    mkdir -p "$(dirname "$input")"
    if [[ ! -s "$input" ]]; then
        echo "Making the one-hour input (once) ..."
        "$maker" long "$input.part" 3600 128
        mv "$input.part" "$input"
    fi
    local size_bytes
    size_bytes=$(stat -c %s "$input")
    echo "Input: $input ($((size_bytes / 1048576)) MiB, 3600 s, 128 kbit/s)"
    echo
}
