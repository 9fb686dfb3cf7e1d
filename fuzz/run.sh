#!/usr/bin/env bash
# Runs every fuzz target of the build directory over its seed corpus (fuzz/corpus/TARGET) for the
# given libFuzzer options (-runs=N, -max_total_time=S, ...), FUZZ_JOBS targets at a time (default:
# one per core). New inputs go to BUILD/fuzz-corpus/TARGET, not into the repository; a crash, leak
# or hang leaves its input in BUILD/fuzz-findings/ and fails the run. FUZZ_TARGETS picks targets
# (default: all of them).
set -euo pipefail
mkdir -p "$1"
build="$(cd "$1" && pwd)"
shift
here="$(cd "$(dirname "$0")" && pwd)"
targets="${FUZZ_TARGETS:-fasta binary_genome fastq sequence_file server_request filter index_file command_line}"
jobs="${FUZZ_JOBS:-$(nproc)}"
mkdir -p "$build/fuzz-findings"

fuzz_target() {
    local target="$1"
    shift
    local work="$build/fuzz-corpus/$target" log="$build/fuzz-findings/$target.log"
    mkdir -p "$work"
    local options=(-close_fd_mask=3 -timeout=60 -rss_limit_mb=4096 -print_final_stats=1
                   "-artifact_prefix=$build/fuzz-findings/$target-")
    [ -f "$here/$target.dict" ] && options+=("-dict=$here/$target.dict")
    local start
    start=$(date +%s)
    if ! "$build/fuzz/koru_fuzz_$target" "${options[@]}" "$@" "$work" "$here/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz $target: FAILED (input and log in $build/fuzz-findings/)"
        return 1
    fi
    echo "fuzz $target: $(grep -E "^stat::number_of_executed_units|^Done" "$log" | tr '\n' ' ')($(($(date +%s) - start)) s)"
}

echo "== fuzz $targets: $*, $jobs at a time"
failed=0
running=0
for target in $targets; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    fuzz_target "$target" "$@" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
exit "$failed"
