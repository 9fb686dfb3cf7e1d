#!/usr/bin/env bash
# The workflow demo: 20,000 simulated pairs of the bundled lambda phage genome, gzip-compressed,
# mapped in 4 shards by the Snakemake workflow of workflow/ on this machine, into one sorted,
# indexed BAM, one QMR file and one statistics report in workflow-demo/.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/workflow-demo"
mkdir -p "$out"
cd "$out"

genome="$root/data/lambda_phage.fa"
if [ ! -s reads_2.fq.gz ]; then
    "$root/$build/koru_simulate_reads" "$genome" reads_1.fq reads_2.fq --pairs 20000 --length 150 \
        --insert 400 --deviation 50 --substitutions 0.01 --indels 0.05 --seed 7 >/dev/null
    gzip -f reads_1.fq reads_2.fq
fi
echo "== 20,000 simulated pairs of the lambda phage genome in workflow-demo/reads_[12].fq.gz"
echo "== Running: snakemake -s workflow/Snakefile --cores 2 --config shards=4 ..."
snakemake -s "$root/workflow/Snakefile" --cores 2 --quiet --config koru_bin="$root/$build" \
    reference="$genome" read1=reads_1.fq.gz read2=reads_2.fq.gz shards=4 output_prefix=lambda \
    'read_group=@RG\tID:demo\tSM:lambda\tPL:ILLUMINA'
echo "== Results in workflow-demo/: lambda.bam, lambda.bam.bai, lambda.qmr, lambda.statistics.txt"
samtools quickcheck lambda.bam && echo "samtools quickcheck: lambda.bam is whole"
samtools flagstat lambda.bam | head -n 8
grep -m 3 "Number of read pairs processed\|Number of Read Pairs that had candidate" lambda.statistics.txt
