#!/usr/bin/env bash
# The workflow's overhead: the Snakemake workflow with SHARDS shards of 1 thread on the 50 Mbase
# human-like genome against one koru run with as many threads followed by samtools sort and
# samtools index of its SAM, both from the same index file and gzip FASTQ files, both writing SAM
# (BAM) and QMR. The merged BAM is checked with samtools quickcheck and Picard ValidateSamFile.
#
#   scripts/bench-workflow.sh [BUILD_DIR] [PAIRS] [SHARDS] [THREADS] [REPEATS]
#
# Medians of REPEATS alternating runs of each (3 by default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
pairs=${2:-400000}
shards=${3:-4}
threads=${4:-2}
repeats=${5:-3}
out="$root/bench-output/workflow"
mkdir -p "$out"
cd "$out"

[ -s human50.fa ] || { "$build/koru_make_synthetic_genome" human50.fa.partial 50 --human-like 1 2>human50.fa.makeup &&
    mv human50.fa.partial human50.fa; }
if [ ! -s "pe${pairs}_2.fq.gz" ]; then
    "$build/koru_simulate_reads" human50.fa "pe${pairs}_1.fq" "pe${pairs}_2.fq" --pairs "$pairs" --length 150 \
        --insert 400 --deviation 50 --substitutions 0.01 --indels 0.05 --seed 1 >/dev/null
    gzip -f "pe${pairs}_1.fq" "pe${pairs}_2.fq"
fi
[ -s human50.kix ] || "$build/koru" --referenceGenomeFastaFileName human50.fa --writeIndexFile human50.kix >/dev/null
# The index file in the page cache for both, as on a node that has mapped it before.
cat human50.kix >/dev/null

seconds() { date +%s.%N; }
# The single run: koru, then samtools sort and samtools index of its SAM.
run_single() {
    rm -f single.*
    local start mapped
    start=$(seconds)
    "$build/koru" --indexFile human50.kix --read1FastqFileName "pe${pairs}_1.fq.gz" \
        --read2FastqFileName "pe${pairs}_2.fq.gz" --samOutputFileName single.sam --qmrOutputFileName single.qmr \
        --readGroupLine '@RG\tID:bench\tSM:human50\tPL:ILLUMINA' -T "$threads" >single.log
    mapped=$(seconds)
    samtools sort -@ "$threads" -m 512M -o single.bam single.sam 2>/dev/null
    samtools index single.bam
    single_times+=("$(echo "$(seconds) - $start" | bc)")
    mapping_times+=("$(echo "$mapped - $start" | bc)")
}
run_sharded() {
    rm -rf sharded sharded.log
    local start
    start=$(seconds)
    snakemake -s "$root/workflow/Snakefile" --cores "$threads" --quiet --config koru_bin="$build" \
        reference= index=human50.kix read1="pe${pairs}_1.fq.gz" read2="pe${pairs}_2.fq.gz" shards="$shards" \
        threads_per_shard=1 output_prefix=sharded/run 'read_group=@RG\tID:bench\tSM:human50\tPL:ILLUMINA' \
        >sharded.log 2>&1
    sharded_times+=("$(echo "$(seconds) - $start" | bc)")
}
median() { printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Alternating runs, as the machine's speed drifts over minutes.
single_times=() mapping_times=() sharded_times=()
for ((run = 1; run <= repeats; run++)); do
    run_single
    run_sharded
    printf "run %d: single %.1f s, sharded %.1f s\n" "$run" "${single_times[-1]}" "${sharded_times[-1]}"
done
single=$(median "${single_times[@]}")
sharded=$(median "${sharded_times[@]}")
single_mapping=$(median "${mapping_times[@]}")

samtools quickcheck sharded/run.bam && echo "samtools quickcheck: passed"
{ PicardCommandLine ValidateSamFile I=sharded/run.bam MODE=SUMMARY 2>/dev/null || true; } |
    grep -E "No errors found|ERROR|WARNING" | sed 's/^/Picard ValidateSamFile: /' 
cmp -s <(samtools view single.bam | LC_ALL=C sort) <(samtools view sharded/run.bam | LC_ALL=C sort) &&
    echo "records: the same as the single run's"
printf "pairs %s, %s threads: single run %.1f s median (mapping %.1f s, then sort and index), %s shards %.1f s, ratio %.3f\n" \
    "$pairs" "$threads" "$single" "$single_mapping" "$shards" "$sharded" "$(echo "$sharded / $single" | bc -l)"
