#!/usr/bin/env bash
# The workflow of workflow/ on the lambda phage genome, 4 shards, against one koru run on the same
# input: the merged BAM must hold exactly the single run's records (sorted), the merged QMR its
# records in its order, the summed statistics its statistics. Then bad inputs and a failing shard
# must stop the workflow with koru's message and without merged output.
#
#   scripts/test-workflow.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
genome="$root/data/lambda_phage.fa"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# workflow NAME [KEY=VALUE...]: runs the workflow with output prefix NAME/run; output in NAME.log.
workflow() {
    local name=$1
    shift
    snakemake -s "$root/workflow/Snakefile" --cores 2 --quiet --config koru_bin="$build" \
        reference="$genome" read1=reads_1.fq.gz read2=reads_2.fq.gz shards=4 \
        output_prefix="$name/run" 'read_group=@RG\tID:lambda\tSM:sample\tPL:ILLUMINA' "$@" \
        >"$name.log" 2>&1
}

# expect_refusal NAME MESSAGE [KEY=VALUE...]: the workflow fails with MESSAGE, maps nothing and
# leaves no merged output.
expect_refusal() {
    local name=$1 message=$2
    shift 2
    if workflow "$name" "$@"; then
        fail "$name: the workflow succeeded"
        return
    fi
    grep -qF -- "$message" "$name.log" || fail "$name: no \"$message\" in $name.log"
    compgen -G "$name/run.work/logs/map*.log" >/dev/null && fail "$name: a shard was mapped"
    [ -e "$name/run.bam" ] || [ -e "$name/run.qmr" ] && fail "$name: merged output left"
    return 0
}

"$build/koru_simulate_reads" "$genome" reads_1.fq reads_2.fq --pairs 3000 --length 150 --insert 400 \
    --deviation 50 --substitutions 0.01 --indels 0.05 --seed 17 >/dev/null
gzip -k reads_1.fq reads_2.fq

"$build/koru" --referenceGenomeFastaFileName "$genome" --read1FastqFileName reads_1.fq.gz \
    --read2FastqFileName reads_2.fq.gz --samOutputFileName single.sam --qmrOutputFileName single.qmr \
    --statisticsFileName single.tsv --readGroupLine '@RG\tID:lambda\tSM:sample\tPL:ILLUMINA' -T 2 >/dev/null

workflow sharded || { cat sharded.log; fail "the workflow failed"; exit 1; }
samtools quickcheck sharded/run.bam || fail "samtools quickcheck"
# A region query needs the index: every placed record lies on the one chromosome.
chromosome=$(samtools view -H sharded/run.bam | awk -F'\t' '$1 == "@SQ" { sub("SN:", "", $2); print $2; exit }')
[ "$(samtools view -c sharded/run.bam "{$chromosome}" 2>/dev/null)" = "$(samtools view sharded/run.bam | awk '$3 != "*"' | wc -l)" ] ||
    fail "no usable BAM index"
samtools view single.sam | LC_ALL=C sort >single.records
samtools view sharded/run.bam | LC_ALL=C sort >sharded.records
[ "$(wc -l <single.records)" -eq 6000 ] || fail "the single run wrote $(wc -l <single.records) records"
cmp -s single.records sharded.records || fail "the merged BAM's records differ from the single run's"
samtools view -F 4 sharded/run.bam | cut -f 4 | sort -c -n 2>/dev/null || fail "BAM not sorted"
header=$(samtools view -H sharded/run.bam)
grep -q '^@HD.*SO:coordinate' <<<"$header" || fail "header not coordinate-sorted"
[ "$(grep -c '^@RG' <<<"$header")" -eq 1 ] || fail "not one @RG line"
[ "$(grep -c '^@PG.*PN:koru' <<<"$header")" -eq 1 ] || fail "not one koru @PG line"
cmp -s <(grep -v '^#' single.qmr) <(grep -v '^#' sharded/run.qmr) || fail "the merged QMR differs"
[ "$(grep -c '^#Command Line' sharded/run.qmr)" -eq 1 ] || fail "QMR header not once"
cmp -s single.tsv sharded/run.statistics.tsv || fail "the summed statistics differ"
grep -q "Number of read pairs processed = 3000" sharded/run.statistics.txt || fail "statistics report"

# Bad input, stopped before any shard is mapped.
expect_refusal missing 'The read 2 FASTQ file "absent.fq.gz" does not exist.' read2=absent.fq.gz
expect_refusal zero 'The number of shards "0" is not a whole number from 1 to 100000.' shards=0
head -n 11996 reads_2.fq | gzip >short_2.fq.gz
expect_refusal unequal 'hold different numbers of records (3000 and 2999)' read2=short_2.fq.gz
awk 'NR == 2 { $0 = (substr($0, 1, 1) == "A" ? "C" : "A") substr($0, 2) } { print }' "$genome" >other.fa
cmp -s other.fa "$genome" && fail "other.fa is the same genome"
expect_refusal mismatched 'was not built from the reference genome' index=sharded/run.kix reference=other.fa

# A damaged index file given alone is not checked before the shards: each shard's run checks it
# whole as it loads it, and the first to fail stops the workflow before anything is merged.
python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[len(d) // 2] ^= 0x10
open(sys.argv[2], "wb").write(d)' sharded/run.kix damaged.kix
if workflow damaged index=damaged.kix reference=; then
    fail "damaged: the workflow succeeded"
else
    grep -qF 'its contents do not match their checksum, the file is damaged.' damaged.log ||
        fail "damaged: koru's error is not in the output"
    [ -e damaged/run.bam ] || [ -e damaged/run.qmr ] && fail "damaged: merged output left"
fi

# A shard that fails (a quality below the Phred offset in record 2001, in the third shard) stops
# the workflow with koru's error, and nothing is merged.
awk 'NR == 8004 { $0 = " " substr($0, 2) } { print }' reads_2.fq | gzip >broken_2.fq.gz
if workflow broken read2=broken_2.fq.gz index=sharded/run.kix; then
    fail "broken: the workflow succeeded"
else
    grep -qF 'shard3_2.fq.gz" is not in FASTQ form at record 501: a quality character lies below' broken.log ||
        fail "broken: koru's error is not in the output"
    [ -e broken/run.bam ] || [ -e broken/run.qmr ] && fail "broken: merged output left"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures workflow checks failed" >&2
    exit 1
fi
echo "workflow: 4 shards give the single run's records, QMR and statistics; bad input and a failing shard stop it"
