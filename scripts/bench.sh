#!/usr/bin/env bash
# Benchmarks of the index build against peers, measured side by side in one run:
#   koru (read the FASTA and build the whole index) vs minimap2 -x sr -d and bwa index,
#   on the E. coli genome and on a synthetic 100 Mbase genome with repeats and runs of N;
#   loading an index file against building the index;
#   then random key lookups in the compact index (Google Benchmark).
# Writes bench-output/index_build.md and prints it.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/bench-output"
mkdir -p "$out"
cd "$out"

need=()
for tool in minimap2 bwa; do command -v $tool >/dev/null || need+=("$tool"); done
command -v /usr/bin/time >/dev/null || need+=(time)
"$root/scripts/install-packages.sh" "${need[@]}"

ecoli=$("$root/scripts/fetch-ecoli.sh" "$out/data")
synthetic="$out/data/synthetic100.fa"
[ -s "$synthetic" ] || "$root/$build/koru_make_synthetic_genome" "$synthetic" 100 8 1
: >empty_1.fq
: >empty_2.fq

# Best of `runs` runs: wall seconds and peak resident kilobytes.
measure() {
    local runs=$1 best_time=999999 best_memory=0
    shift
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %M" -o timing "$@" >/dev/null 2>&1 || true
        # A failing command adds a first line to the timing file; the figures are on the last.
        read -r seconds memory < <(tail -n 1 timing)
        if awk "BEGIN{exit !($seconds < $best_time)}"; then best_time=$seconds; best_memory=$memory; fi
    done
    echo "$best_time $best_memory"
}

# A run that reads the FASTA and builds the whole index; the empty request maps nothing.
koru_build=("$root/$build/koru" --read1FastqFileName empty_1.fq --read2FastqFileName empty_2.fq
    --samOutputFileName koru.sam --referenceGenomeFastaFileName)

report="$out/index_build.md"
{
    echo "| genome | bases | koru s | koru peak MiB | koru bytes/base | minimap2 -d s | bwa index s | koru / minimap2 | koru / bwa |"
    echo "|---|---|---|---|---|---|---|---|---|"
} >"$report"
declare -A koru_seconds
for genome in "$ecoli" "$synthetic"; do
    name=$(basename "$genome" .fa)
    bwa_runs=3
    [ "$genome" = "$synthetic" ] && bwa_runs=1  # bwa takes minutes there
    bases=$(grep -v '>' "$genome" | tr -d '\n' | wc -c)
    read -r ks km < <(measure 5 "${koru_build[@]}" "$genome")
    read -r ms _ < <(measure 3 minimap2 -x sr -d "$out/peer.mmi" "$genome")
    read -r bs _ < <(measure "$bwa_runs" bwa index -p "$out/peer.bwa" "$genome")
    koru_seconds[$name]=$ks
    awk -v n="$name" -v b="$bases" -v ks="$ks" -v km="$km" -v ms="$ms" -v bs="$bs" 'BEGIN {
        printf "| %s | %d | %.2f | %.0f | %.1f | %.2f | %.2f | %.2f | %.2f |\n", n, b, ks, km/1024, km*1024/b, ms, bs, ks/ms, ks/bs }' >>"$report"
done
awk -v e="${koru_seconds[NC_008253]}" -v s="${koru_seconds[synthetic100]}" 'BEGIN {
    printf "\nkoru build time, 100 Mbase / E. coli: %.1f\n", s/e }' >>"$report"
rm -f "$out"/peer.* koru.sam

# Loading an index file against building the index, on both genomes.
echo >>"$report"
"$root/scripts/bench-index-file.sh" "$build" "$out/index-file" "$ecoli" "$synthetic" >/dev/null
cat "$out/index-file/index_file.md" >>"$report"

echo >>"$report"
echo '```' >>"$report"
"$root/$build/koru_index_lookup_benchmark" --benchmark_min_time=0.5 2>/dev/null | grep -E '^BM_|^Benchmark' >>"$report"
echo '```' >>"$report"

# Candidate generation and scoring of reads cut from E. coli with 1% substitutions, one thread.
echo >>"$report"
echo '```' >>"$report"
"$root/$build/koru_candidates_benchmark" --genome="$ecoli" --benchmark_min_time=1 2>/dev/null |
    grep -E '^mapReads|^Benchmark' >>"$report"
echo '```' >>"$report"
# Mapping against the peers, on reads simulated from E. coli.
echo >>"$report"
"$root/scripts/bench-mapping.sh" "$build" "$ecoli" "$out/mapping" 200000 >/dev/null
cat "$out/mapping/mapping.md" >>"$report"
cat "$report"
