#!/usr/bin/env bash
# What the library report costs: the benchmark's E. coli read pairs mapped with and without
# --reportFile, alternately, REPS times each; prints the least processor time of the aligning
# stage (all threads) for both, the least being the run least disturbed by other work, and the
# difference.
#   scripts/bench-report.sh [BUILD_DIR] [REPS]
set -euo pipefail
build=${1:-build}
reps=${2:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
genome="$root/bench-output/data/NC_008253.fa"
reads="$root/bench-output/mapping/mapping_200000"
[ -s "${reads}_1.fq" ] || { echo "no benchmark reads at ${reads}_1.fq: run make bench first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The aligning stage's processor time, from the run's timer line.
aligning() {
    "$root/$build/koru" --referenceGenomeFastaFileName "$genome" --read1FastqFileName "${reads}_1.fq" \
        --read2FastqFileName "${reads}_2.fq" --samOutputFileName "$work/out.sam" -T 2 "$@" |
        sed -n 's/.*for Aligning.*CPU time = \([0-9.]*\).*/\1/p'
}
least() { sort -g | head -1; }

for ((i = 0; i < reps; i++)); do
    aligning >>"$work/plain"
    aligning --reportFile "$work/report.html" >>"$work/report"
done
plain=$(least <"$work/plain")
report=$(least <"$work/report")
echo "aligning, processor seconds: without report $(tr '\n' ' ' <"$work/plain")(least $plain)"
echo "aligning, processor seconds: with report    $(tr '\n' ' ' <"$work/report")(least $report)"
awk -v a="$plain" -v b="$report" 'BEGIN { printf "report overhead: %+.2f %% of the mapping time\n", 100 * (b - a) / a }'
