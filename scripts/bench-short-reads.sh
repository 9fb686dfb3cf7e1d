#!/usr/bin/env bash
# Short and trimmed reads on the E. coli genome: mapped, placed within 5 bases of the truth and
# precision at MAPQ >= 20, koru at index sampling steps 1, 2 and 4 against bwa mem, 2 threads each.
#   20,000 pairs of each length 32, 40, 50 and 63 (insert 300 +- 50, 1% substitutions), then
#   20,000 pairs as trimming leaves them (2x300 with indels in 5% of reads, each read a quarter of
#   the time 32 to 63 bases, otherwise 64 to 300).
#
#   scripts/bench-short-reads.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
source "$root/scripts/bench-common.sh"
install_missing bwa
genome="$root/bench-output/data/NC_008253.fa"
[ -s "$genome" ] || "$root/scripts/fetch-ecoli.sh" "$root/bench-output/data" >/dev/null
out="$root/bench-output/short-reads"
mkdir -p "$out"
cd "$out"

for step in 1 2 4; do
    [ -s "ecoli$step.kix" ] || "$build/koru" --referenceGenomeFastaFileName "$genome" --indexSamplingStep "$step" \
        --writeIndexFile "ecoli$step.kix" >/dev/null
done
[ -s peer.bwt ] || bwa index -p peer "$genome" >/dev/null 2>&1

# One set of reads: koru at each step that supports the length (with any further options given),
# then bwa mem.
measure() {
    local label=$1 reads1=$2 reads2=$3 minimum=$4 step line
    shift 4
    line="| $label |"
    for step in 1 2 4; do
        if ((minimum < 31 + step)); then
            line+=" not supported |"
            continue
        fi
        "$build/koru" --indexFile "ecoli$step.kix" --read1FastqFileName "$reads1" --read2FastqFileName "$reads2" \
            --samOutputFileName koru.sam -T 2 -o koru.log "$@" >/dev/null
        line+=" $(evaluate koru.sam | sed 's| | / |g') |"
    done
    bwa mem -t 2 peer "$reads1" "$reads2" >bwa.sam 2>/dev/null
    echo "$line $(evaluate bwa.sam | sed 's| | / |g') |"
}

echo "| reads | koru, step 1 | koru, step 2 | koru, step 4 | bwa mem |"
echo "|---|---|---|---|---|"
for length in 32 40 50 63; do
    "$build/koru_simulate_reads" "$genome" "short$length"_1.fq "short$length"_2.fq --pairs 20000 --length "$length" \
        --insert 300 --deviation 50 --substitutions 0.01 --seed "$length" >/dev/null
    measure "$length bases" "short$length"_1.fq "short$length"_2.fq "$length"
done
"$build/koru_simulate_reads" "$genome" trimmed_1.fq trimmed_2.fq --pairs 20000 --length 300 --insert 500 \
    --deviation 50 --substitutions 0.01 --indels 0.05 --trimmed-from 32 --seed 77 >/dev/null
# Every step maps this set: its reads under 31 + step bases are left unmapped, their mates mapped.
measure "trimmed, 32 to 300" trimmed_1.fq trimmed_2.fq 64
# The same with the concordant window set to the library (inserts of 500 +- 50): a copy of a
# tandem duplication a few kbase away then no longer pairs with the mate as well as the true place.
measure "trimmed, window 1000" trimmed_1.fq trimmed_2.fq 64 --concordantReadPairInsertSize 1000
