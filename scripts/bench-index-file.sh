#!/usr/bin/env bash
# Loading an index file against building the index, measured side by side: for each genome, koru
# writes the index file once, then runs that read the FASTA and build the index alternate with runs
# that load the file, each serving an empty FASTQ pair. Wall times are medians of the runs (the
# file stays in the page cache, as it does for runs that follow one another).
# Usage: bench-index-file.sh BUILD_DIR OUTPUT_DIR GENOME [GENOME...]; writes OUTPUT_DIR/index_file.md.
set -euo pipefail
build=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
shift 2
genomes=()
for genome in "$@"; do genomes+=("$(cd "$(dirname "$genome")" && pwd)/$(basename "$genome")"); done
root=$(cd "$(dirname "$0")/.." && pwd)
koru="$root/$build/koru"
cd "$out"
: >empty_1.fq
: >empty_2.fq
request=(--read1FastqFileName empty_1.fq --read2FastqFileName empty_2.fq --samOutputFileName empty.sam)

# Seconds one run takes, timed by a small forking timer: the shell's own fork costs several
# milliseconds here, as much as a third of a run from an index file.
timer="$root/$build/koru_run_timer"
seconds() {
    local times
    times=$("$timer" "$@" 2>&1 >/dev/null | tail -n 1) || { echo "failed: $*" >&2; exit 1; }
    echo "${times%% *}"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

report="$out/index_file.md"
{
    echo "| genome | build run s | load run s | load / build | index file MiB | build run peak MiB |"
    echo "|---|---|---|---|---|---|"
} >"$report"
for genome in "${genomes[@]}"; do
    name=$(basename "$genome" .fa)
    index="$out/$name.kix"
    "$timer" "$koru" --referenceGenomeFastaFileName "$genome" --writeIndexFile "$index" 2>peak >/dev/null
    runs=11
    [ "$(stat -c %s "$genome")" -gt 50000000 ] && runs=3
    : >build.times
    : >load.times
    for _ in $(seq "$runs"); do
        seconds "$koru" "${request[@]}" --referenceGenomeFastaFileName "$genome" >>build.times
        seconds "$koru" "${request[@]}" --indexFile "$index" >>load.times
    done
    build_s=$(median <build.times)
    load_s=$(median <load.times)
    awk -v n="$name" -v b="$build_s" -v l="$load_s" -v f="$(stat -c %s "$index")" -v p="$(tail -n 1 peak | cut -d' ' -f2)" 'BEGIN {
        printf "| %s | %.3f | %.3f | %.3f | %.1f | %.1f |\n", n, b, l, l / b, f / 1048576, p / 1024 }' >>"$report"
    rm -f "$index" peak build.times load.times
done
rm -f empty_1.fq empty_2.fq empty.sam
cat "$report"
