#!/usr/bin/env bash
# Runs two commands one after the other, ROUNDS times, and prints each run's wall and processor
# seconds, the ratio of the second's wall time to the first's for each round (how many times the
# first's pairs per second when both map the same pairs) and the median ratio. Alternating keeps
# this machine's drift (up to a third over minutes) out of the ratio.
#   scripts/bench-alternate.sh ROUNDS "FIRST COMMAND" "SECOND COMMAND"
# For example, koru from its index file against minimap2 on the same pairs:
#   scripts/bench-alternate.sh 5 \
#     "build/koru --indexFile ecoli.kix --read1FastqFileName r1.fq --read2FastqFileName r2.fq \
#        --samOutputFileName /tmp/koru.sam -T 2" \
#     "minimap2 -ax sr -t 2 ecoli.mmi r1.fq r2.fq > /tmp/minimap2.sam"
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 ROUNDS \"FIRST COMMAND\" \"SECOND COMMAND\"" >&2; exit 1; }
rounds=$1 first=$2 second=$3
timing=$(mktemp)
trap 'rm -f "$timing"' EXIT

# Wall and processor (user + system) seconds of one command.
measure() {
    /usr/bin/time -f "%e %U %S" -o "$timing" bash -c "$1" >/dev/null 2>&1 ||
        { echo "failed: $1" >&2; exit 1; }
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$timing"
}

ratios=()
echo "| round | first s (processor s) | second s (processor s) | second / first |"
echo "|---|---|---|---|"
for ((round = 1; round <= rounds; ++round)); do
    read -r wall1 cpu1 < <(measure "$first")
    read -r wall2 cpu2 < <(measure "$second")
    ratio=$(awk -v a="$wall1" -v b="$wall2" 'BEGIN { printf "%.2f", b / a }')
    ratios+=("$ratio")
    echo "| $round | $wall1 ($cpu1) | $wall2 ($cpu2) | $ratio |"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END {
    m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
    printf "median second / first: %.2f\n", m }'
