#!/usr/bin/env bash
# Maps the same simulated read pairs (E. coli, 2x100, 1% substitutions, a few indels) with koru
# and with bwa mem, bowtie2, minimap2 -ax sr and snap-aligner, 2 threads each, in one run, and
# prints per aligner: read pairs per second (the peers load their index; koru once builds its
# index in the run and once loads its index file), peak memory, fraction of reads mapped,
# fraction placed within 5 bases of the truth, and the precision of reads with MAPQ >= 20.
#   scripts/bench-mapping.sh BUILD_DIR GENOME OUTPUT_DIR [PAIRS]
set -euo pipefail
build=$1
genome=$2
out=$3
pairs=${4:-200000}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/bench-common.sh"
mkdir -p "$out"
cd "$out"

install_missing bwa bowtie2 minimap2 snap-aligner samtools

reads1=mapping_${pairs}_1.fq
reads2=mapping_${pairs}_2.fq
[ -s "$reads1" ] || "$root/$build/koru_simulate_reads" "$genome" "$reads1" "$reads2" --pairs "$pairs" --length 100 \
    --insert 400 --deviation 50 --substitutions 0.01 --indels 0.05 --seed 42

# Peer indexes, built once and not timed here.
[ -s peer.bwt ] || bwa index -p peer "$genome" >/dev/null 2>&1
[ -s peer.1.bt2 ] || bowtie2-build --threads 2 "$genome" peer >/dev/null 2>&1
[ -s peer.mmi ] || minimap2 -x sr -d peer.mmi "$genome" >/dev/null 2>&1
[ -d snap-index ] || snap-aligner index "$genome" snap-index >/dev/null 2>&1

# Wall seconds and peak kilobytes of one run; the command writes SAM to the given file.
run() {
    local sam=$1
    shift
    /usr/bin/time -f "%e %M" -o timing "$@" >"$sam.stdout" 2>"$sam.stderr" || true
    tail -n 1 timing
}

table=mapping.md
{
    echo "| aligner | read pairs/s | peak MiB | mapped | placed within 5 bases | precision at MAPQ >= 20 |"
    echo "|---|---|---|---|---|---|"
} >"$table"
report() {
    local name=$1 sam=$2 seconds=$3 memory=$4
    read -r mapped placed precision < <(evaluate "$sam")
    awk -v n="$name" -v p="$pairs" -v s="$seconds" -v m="$memory" -v a="$mapped" -v b="$placed" -v c="$precision" \
        'BEGIN { printf "| %s | %.0f | %.0f | %.4f | %.4f | %.4f |\n", n, p / s, m / 1024, a, b, c }' >>"$table"
}

read -r s m < <(run koru.sam "$root/$build/koru" --referenceGenomeFastaFileName "$genome" --read1FastqFileName "$reads1" \
    --read2FastqFileName "$reads2" --samOutputFileName koru.sam -T 2)
report "koru" koru.sam "$s" "$m"
# From its index file, written once and not timed, as the peers load theirs.
[ -s koru.kix ] || "$root/$build/koru" --referenceGenomeFastaFileName "$genome" --writeIndexFile koru.kix >/dev/null 2>&1
read -r s m < <(run koru-file.sam "$root/$build/koru" --indexFile koru.kix --read1FastqFileName "$reads1" \
    --read2FastqFileName "$reads2" --samOutputFileName koru-file.sam -T 2)
report "koru, from its index file" koru-file.sam "$s" "$m"
read -r s m < <(run bwa.sam sh -c "bwa mem -t 2 peer $reads1 $reads2 > bwa.sam")
report "bwa mem" bwa.sam "$s" "$m"
read -r s m < <(run bowtie2.sam sh -c "bowtie2 -p 2 -x peer -1 $reads1 -2 $reads2 -S bowtie2.sam")
report "bowtie2" bowtie2.sam "$s" "$m"
read -r s m < <(run minimap2.sam sh -c "minimap2 -t 2 -ax sr peer.mmi $reads1 $reads2 > minimap2.sam")
report "minimap2 -ax sr" minimap2.sam "$s" "$m"
read -r s m < <(run snap.sam snap-aligner paired snap-index "$reads1" "$reads2" -o snap.sam -t 2)
report "snap-aligner" snap.sam "$s" "$m"
cat "$table"
