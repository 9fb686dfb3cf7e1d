#!/usr/bin/env bash
# Junction reads as split-read SAM records. Simulates E. coli mate pairs (2x100 and 2x150, 1%
# substitutions; with INDEL_RATE, that share of reads also gets an indel), maps them with
# --generateSupplementalMappings true and measures, among the reads spanning a junction whose
# shorter part has at least 32 bases, the share whose other part is written as a supplementary
# record within 5 bases of where it was simulated (with the read's line within 5 bases of its own
# part), and the share of supplementary records that are wrong (not within 5 bases of a part of
# their read that its line does not already hold). samtools must parse every SAM file.
#   scripts/junction-figures.sh BUILD_DIR GENOME OUTPUT_DIR [PAIRS] [INDEL_RATE]
set -euo pipefail
build=$(cd "$1" && pwd)
genome=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=$3
pairs=${4:-20000}
indels=${5:-0}
mkdir -p "$out"
cd "$out"

[ -s genome.kix ] || "$build/koru" --referenceGenomeFastaFileName "$genome" --writeIndexFile genome.kix >/dev/null

# Scores one SAM file against the truth in the read names.
score() {
    python3 - "$genome" "$1" "$2" "$3" <<'EOF'
import sys

genome_file, fastq1, fastq2, sam_file = sys.argv[1:5]
NEAR, MINOR = 5, 32

def read_fasta(path):
    names, texts, parts = [], [], None
    for line in open(path):
        if line.startswith('>'):
            if parts is not None: texts.append(''.join(parts).upper())
            names.append(line[1:].split()[0])
            parts = []
        else:
            parts.append(line.strip())
    texts.append(''.join(parts).upper())
    return names, texts

def read_fastq(path):
    with open(path) as f:
        while True:
            name = f.readline()
            if not name: return
            sequence = f.readline().strip()
            f.readline(); f.readline()
            yield name[1:].split()[0], sequence

COMPLEMENT = str.maketrans('ACGTN', 'TGCAN')

def truth_parts(sequence, position, strand, chromosome):
    """The read's parts as (leftmost 1-based position, length), from its truth field."""
    if 'j' not in position: return [(int(position), len(sequence))]
    first, second = (int(p) for p in position.split('j'))
    text = sequence if strand == '+' else sequence.translate(COMPLEMENT)[::-1]
    # The first part ends where the text stops matching its place: the best prefix score.
    score = best = split = 0
    for i, base in enumerate(text):
        at = first - 1 + i
        score += 1 if at < len(chromosome) and chromosome[at] == base else -1
        if score > best: best, split = score, i + 1
    return [(first, split), (second, len(text) - split)]

names, chromosomes = read_fasta(genome_file)
truth = {}
for mate, path in ((1, fastq1), (2, fastq2)):
    for name, sequence in read_fastq(path):
        fields = name.split(':')
        number = int(fields[2]) - 1
        position, strand = (fields[3], fields[4]) if mate == 1 else (fields[5], fields[6])
        truth[(name, mate)] = (names[number], truth_parts(sequence, position, strand, chromosomes[number]))

lines, supplementary = {}, {}
for line in open(sam_file):
    if line.startswith('@'): continue
    f = line.split('\t')
    flag = int(f[1])
    key = (f[0], 1 if flag & 0x40 else 2)
    placed = None if flag & 4 else (f[2], int(f[3]))
    if flag & 0x800: supplementary.setdefault(key, []).append(placed)
    elif not flag & 0x100: lines[key] = placed

def part_at(key, placed):
    """Index of the read's part within NEAR bases of the placement, or None."""
    chromosome, parts = truth[key]
    if placed is None or placed[0] != chromosome: return None
    for i, (position, _) in enumerate(parts):
        if abs(placed[1] - position) <= NEAR: return i
    return None

junction = found = with_any = 0
for key, (chromosome, parts) in truth.items():
    if len(parts) < 2 or min(length for _, length in parts) < MINOR: continue
    junction += 1
    own = part_at(key, lines.get(key))
    others = [part_at(key, p) for p in supplementary.get(key, [])]
    with_any += 1 if others else 0
    if own is not None and any(o is not None and o != own for o in others): found += 1
records = wrong = 0
for key, placements in supplementary.items():
    own = part_at(key, lines.get(key))
    for placed in placements:
        records += 1
        other = part_at(key, placed)
        if other is None or other == own: wrong += 1
print(f"junction reads with a part of {MINOR}+ bases on either side: {junction}; "
      f"with a supplementary record: {with_any}; other part within {NEAR} bases: {found} "
      f"({100.0 * found / max(junction, 1):.2f}%)")
print(f"supplementary records: {records}; wrong: {wrong} ({100.0 * wrong / max(records, 1):.2f}%)")
EOF
}

# bwa mem and minimap2 write split reads as supplementary records too: the same measure, same reads.
peers=()
if command -v bwa >/dev/null 2>&1; then
    [ -s peer.bwt ] || bwa index -p peer "$genome" >/dev/null 2>&1
    peers+=(bwa)
fi
if command -v minimap2 >/dev/null 2>&1; then peers+=(minimap2); fi

for length in 100 150; do
    name=mp${length}_${pairs}_${indels}
    [ -s "${name}_2.fq" ] || "$build/koru_simulate_reads" "$genome" "${name}_1.fq" "${name}_2.fq" --pairs "$pairs" \
        --length "$length" --insert 400 --deviation 50 --substitutions 0.01 --indels "$indels" --mate-pair \
        --seed "$length"
    "$build/koru" --indexFile genome.kix --read1FastqFileName "${name}_1.fq" --read2FastqFileName "${name}_2.fq" \
        --samOutputFileName "$name.sam" --qmrOutputFileName "$name.qmr" --generateSupplementalMappings true \
        -T 2 >"$name.log" 2>&1
    samtools view -b -o "$name.bam" "$name.sam"
    echo "== 2x$length, $pairs mate pairs, indel rate $indels"
    echo "koru: $(samtools view -c -f 0x800 "$name.bam") supplementary records"
    score "${name}_1.fq" "${name}_2.fq" "$name.sam"
    for peer in "${peers[@]}"; do
        case $peer in
            bwa) bwa mem -t 2 peer "${name}_1.fq" "${name}_2.fq" >"$name.$peer.sam" 2>/dev/null ;;
            minimap2) minimap2 -t 2 -ax sr "$genome" "${name}_1.fq" "${name}_2.fq" >"$name.$peer.sam" 2>/dev/null ;;
        esac
        echo "$peer: $(samtools view -c -f 0x800 "$name.$peer.sam") supplementary records"
        score "${name}_1.fq" "${name}_2.fq" "$name.$peer.sam"
    done
done
