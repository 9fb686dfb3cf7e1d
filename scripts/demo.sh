#!/usr/bin/env bash
# The demo: maps simulated read pairs to the bundled lambda phage genome and shows the result.
set -uo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/demo-output"
mkdir -p "$out"

genome="$root/data/lambda_phage.fa"
"$root/$build/koru_simulate_reads" "$genome" "$out/reads_1.fq" "$out/reads_2.fq" --pairs 2000 --length 100 \
    --insert 350 --deviation 40 --substitutions 0.005 --seed 7 || exit 1
echo "== Reference: $(grep -c '>' "$genome") chromosome, $(grep -v '>' "$genome" | tr -d '\n' | wc -c) bases (lambda phage)"
echo "== Reads: 2000 simulated pairs of 100 bases in $out/reads_1.fq and reads_2.fq"
echo "== Running: koru --referenceGenomeFastaFileName data/lambda_phage.fa --read1FastqFileName ... --read2FastqFileName ... --samOutputFileName demo-output/alignment.sam"

"$root/$build/koru" --referenceGenomeFastaFileName "$genome" \
    --read1FastqFileName "$out/reads_1.fq" --read2FastqFileName "$out/reads_2.fq" \
    --samOutputFileName "$out/alignment.sam" -T 2 >"$out/report.txt" 2>"$out/errors.txt"
status=$?
cat "$out/report.txt"
if [ $status -ne 0 ]; then
    echo "== koru ended with status $status:"
    cat "$out/errors.txt"
    if grep -q "which is not built yet" "$out/errors.txt"; then
        echo "== The demo stops there: the stages after it are not built yet."
        exit 0
    fi
    exit $status
fi
echo "== Result: $out/alignment.sam"
samtools flagstat "$out/alignment.sam" | sed -n '1p;7p;12p'
# The simulator writes each read's true position into its name: sim:pair:chromosome:pos1:strand:pos2:strand.
awk -F'\t' '!/^@/ { split($1, truth, ":"); expected = (int($2 / 64) % 2 == 1) ? truth[4] : truth[6];
    total++; if ($4 != 0 && $4 - expected <= 5 && expected - $4 <= 5) placed++ }
    END { printf "== %d of %d reads (%.1f%%) placed within 5 bases of where they were simulated\n", placed, total, 100 * placed / total }' \
    "$out/alignment.sam"
echo "== First alignments:"
awk '!/^@/ && shown++ < 4' "$out/alignment.sam" | cut -c 1-150

# The library report, on what it is for: a mate-pair library (2 to 5 kbase circularised fragments,
# reads across the biotin junction) with 30 % paired-end contamination.
"$root/$build/koru_simulate_reads" "$genome" "$out/mate_1.fq" "$out/mate_2.fq" --pairs 1400 --length 100 \
    --insert 300 --deviation 30 --substitutions 0.005 --mate-pair --seed 8 || exit 1
"$root/$build/koru_simulate_reads" "$genome" "$out/contamination_1.fq" "$out/contamination_2.fq" --pairs 600 \
    --length 100 --insert 300 --deviation 30 --substitutions 0.005 --seed 9 || exit 1
cat "$out/contamination_1.fq" >>"$out/mate_1.fq" && cat "$out/contamination_2.fq" >>"$out/mate_2.fq" &&
    rm "$out/contamination_1.fq" "$out/contamination_2.fq"
echo "== Library report: 1400 simulated mate pairs and 600 paired-end contaminants in $out/mate_1.fq and mate_2.fq"
echo "== Running: koru ... --generateSupplementalMappings true --reportFile demo-output/report.html"
"$root/$build/koru" --referenceGenomeFastaFileName "$genome" \
    --read1FastqFileName "$out/mate_1.fq" --read2FastqFileName "$out/mate_2.fq" \
    --samOutputFileName "$out/mate.sam" --generateSupplementalMappings true --reportFile "$out/report.html" \
    -T 2 >"$out/mate-report.txt" 2>"$out/errors.txt" || { cat "$out/errors.txt"; exit 1; }
echo "== Library report (insert sizes by orientation, junctions, mapping qualities, errors): $out/report.html"
