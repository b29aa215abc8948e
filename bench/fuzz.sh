#!/usr/bin/env bash
# bench/fuzz.sh [SECONDS]: runs every fuzz target (fuzz/) for SECONDS each (default 300) and
# exits non-zero when any of them finds an input that crashes, hangs, leaks or breaks a check.
#
# The targets are built first in build-fuzz/ with clang (-DQM_FUZZ=ON); --no-build skips that
# for a build made beforehand. Each target starts from the seeds the test kit makes
# (qm-fuzz-seeds), the MPEG files of ../shared/corpus (or $QM_CORPUS_DIR) for the targets that
# read MP3 files, and what earlier runs kept in build-fuzz/fuzz/corpus/<target>. A finding is
# kept as fuzz/crashes/<target>-<sha1 of the input>; reproduce it with
#   build-fuzz/fuzz/qm-fuzz-<target> fuzz/crashes/<target>-<hash>
# At the end a table gives each target's executions.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=300
build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        *[!0-9]* | "") echo "usage: bench/fuzz.sh [--no-build] [SECONDS]" >&2; exit 2 ;;
        *) seconds=$arg ;;
    esac
done

dir=build-fuzz
# The targets, and the longest input each is given: the MP3 readers see a few dozen frames,
# the texts stay short.
targets=(frames analysis tags xing templates marks settings)
declare -A max_len=([frames]=65536 [analysis]=65536 [tags]=65536 [xing]=16384 [templates]=4096 [marks]=4096 [settings]=8192)
declare -A reads_mp3=([frames]=1 [analysis]=1 [tags]=1 [xing]=1)
# Qt keeps every settings file it has read in a cache of its own, which would look like a leak
# after each input and make every run a full leak search: the settings target goes without it.
declare -A extra=([settings]=-detect_leaks=0)
# Markers of each input kind, which mutations splice in (fuzz/*.dict).
declare -A dict=([frames]=mp3 [analysis]=mp3 [tags]=mp3 [xing]=mp3 [templates]=templates [marks]=marks [settings]=settings)
# An input that takes longer than this counts as a hang.
timeout_seconds=20

if ((build)); then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQM_FUZZ=ON -DQM_BUILD_GUI=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
    cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target qm-fuzz || exit 1
fi

seeds="$dir/fuzz/seeds"
rm -rf "$seeds"
"$dir/fuzz/qm-fuzz-seeds" "$seeds" || exit 1
corpus="${QM_CORPUS_DIR:-../shared/corpus}"
crashes=fuzz/crashes
mkdir -p "$crashes"
logs="$dir/fuzz/logs"
mkdir -p "$logs"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

# run_target NAME: one libFuzzer run; prints a row of the summary, returns 1 on a finding.
run_target() {
    local name=$1
    local work="$dir/fuzz/corpus/$name"
    local inputs=("$work" "$seeds/$name")
    mkdir -p "$work"
    [[ -n "${reads_mp3[$name]:-}" && -d "$corpus" ]] && inputs+=("$corpus")
    local prefix="$logs/$name-artifact-"
    rm -f "$prefix"*
    "$dir/fuzz/qm-fuzz-$name" -max_total_time="$seconds" -timeout="$timeout_seconds" \
        -max_len="${max_len[$name]}" -artifact_prefix="$prefix" -print_final_stats=1 \
        -dict="fuzz/${dict[$name]}.dict" ${extra[$name]:-} \
        "${inputs[@]}" >"$logs/$name.log" 2>&1
    local status=$?
    local execs
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -1)
    local found=()
    local artifact
    for artifact in "$prefix"*; do
        [[ -e "$artifact" ]] || continue
        # libFuzzer names a finding <kind>-<sha1>; it is kept as <target>-<sha1>.
        local kept="$crashes/$name-${artifact##*-}"
        mv -f "$artifact" "$kept"
        found+=("$kept (${artifact#"$prefix"})")
    done
    if ((status != 0)) || ((${#found[@]} > 0)); then
        printf '%-10s %12s  FOUND: %s\n' "$name" "${execs:-?}" "${found[*]:-exit $status, see $logs/$name.log}"
        return 1
    fi
    printf '%-10s %12s  %s\n' "$name" "${execs:-?}" "nothing found"
    return 0
}

failed=0
printf '%-10s %12s  (%s s each)\n' target executions "$seconds"
for name in "${targets[@]}"; do
    run_target "$name" || ((failed += 1))
done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
if ((failed)); then
    echo "fuzz: findings kept in $crashes/; logs in $logs/" >&2
    exit 1
fi
