#!/usr/bin/env bash
# Runs every fuzz target of the build directory over its seed corpus (fuzz/corpus/TARGET) for the
# given libFuzzer options (-runs=N, -max_total_time=S, ...), one after the other. New inputs go to
# BUILD/fuzz-corpus/TARGET, not into the repository; a crash, leak or hang leaves its input in
# BUILD/fuzz-findings/ and fails the run. FUZZ_TARGETS picks targets (default: all of them).
set -euo pipefail
mkdir -p "$1"
build="$(cd "$1" && pwd)"
shift
here="$(cd "$(dirname "$0")" && pwd)"
targets="${FUZZ_TARGETS:-fasta binary_genome fastq sequence_file server_request filter index_file command_line}"
mkdir -p "$build/fuzz-findings"
for target in $targets; do
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
    options=(-close_fd_mask=3 -timeout=60 -rss_limit_mb=4096 -print_final_stats=1
             "-artifact_prefix=$build/fuzz-findings/$target-")
    [ -f "$here/$target.dict" ] && options+=("-dict=$here/$target.dict")
    echo "== fuzz $target $*"
    start=$(date +%s)
    if ! "$build/fuzz/koru_fuzz_$target" "${options[@]}" "$@" "$work" "$here/corpus/$target" \
        >"$build/fuzz-findings/$target.log" 2>&1; then
        tail -n 60 "$build/fuzz-findings/$target.log"
        echo "fuzz $target: FAILED (input and log in $build/fuzz-findings/)"
        exit 1
    fi
    grep -E "^stat::number_of_executed_units|^Done" "$build/fuzz-findings/$target.log" | tr '\n' ' '
    echo "($(($(date +%s) - start)) s)"
done
