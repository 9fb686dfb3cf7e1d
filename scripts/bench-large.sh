#!/usr/bin/env bash
# Benchmarks on human-like genomes (synthetic, 100 Mbase, 400 Mbase and 3.1 Gbase, seed 1): koru against
# minimap2 -x sr and snap-aligner, measured side by side in one run:
#   index build (seconds, peak memory, index size) and loading (a run on an empty FASTQ pair);
#   mapping 100,000 simulated 2x150 paired-end pairs and 100,000 mate pairs, 2 threads each
#   (pairs per second, peak memory, mapped, placed within 5 bases of the truth, precision at
#   MAPQ >= 20).
#   scripts/bench-large.sh [BUILD_DIR] [100|400|3100 ...]     (default: all three genomes)
# koru runs at each index sampling step of KORU_STEPS_100 (default "default"), KORU_STEPS_400
# (default "default 4") and KORU_STEPS_3100 (default "default 8"); "default" passes no option, an
# empty list leaves koru out. Genomes, reads
# and the peers' indexes stay in bench-output/ and are reused; a reused peer index is reported
# with the figures of the run that built it. koru's index files are removed after use unless
# KEEP_KORU_INDEXES=1. PAIRS changes the number of pairs.
# Writes bench-output/large/large.md and prints it.
set -euo pipefail
build=${1:-build}
shift || true
genomes=("$@")
[ ${#genomes[@]} -gt 0 ] || genomes=(100 400 3100)
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/bench-common.sh"
bin=$build
[[ $build = /* ]] || bin="$root/$build"
data="$root/bench-output/data"
out="$root/bench-output/large"
pairs=${PAIRS:-100000}
KORU_STEPS_100=${KORU_STEPS_100-default}
KORU_STEPS_400=${KORU_STEPS_400-default 4}
KORU_STEPS_3100=${KORU_STEPS_3100-default 8}
mkdir -p "$data" "$out"

install_missing minimap2 snap-aligner samtools /usr/bin/time:time

declare -A built_now  # peer indexes built by this run

say() { echo "[$(date +%H:%M:%S)] $*" >&2; }

# "seconds peakKiB" of one run of the command, or "failed"; its output goes to LOG.out and LOG.err.
timed() {
    local log=$1
    shift
    if /usr/bin/time -f "%e %M" -o "$log.time" "$@" >"$log.out" 2>"$log.err"; then
        tail -n 1 "$log.time"
    else
        echo "failed"
    fi
}

bytes() { du -sb "$1" | cut -f1; }

ensure_genome() {
    local megabases=$1 fasta="$data/human$1.fa"
    [ -s "$fasta" ] && return
    say "generating the $megabases Mbase human-like genome"
    "$bin/koru_make_synthetic_genome" "$fasta.partial" "$megabases" --human-like 1 2>"$fasta.makeup"
    mv "$fasta.partial" "$fasta"
}

# PREFIX_1.fq and PREFIX_2.fq, simulated unless present.
ensure_reads() {
    local fasta=$1 prefix=$2
    shift 2
    [ -s "${prefix}_2.fq" ] && return
    say "simulating $pairs pairs: $(basename "$prefix")"
    "$bin/koru_simulate_reads" "$fasta" "$prefix.partial_1.fq" "$prefix.partial_2.fq" --pairs "$pairs" \
        --length 150 --insert 400 --deviation 50 --substitutions 0.01 --indels 0.05 "$@"
    mv "$prefix.partial_1.fq" "${prefix}_1.fq"
    mv "$prefix.partial_2.fq" "${prefix}_2.fq"
}

# Builds a peer's index INDEX unless present, through INDEX.partial (which the command must
# write), and keeps the build's figures in INDEX.figures: "seconds peakKiB bytes date".
build_peer_index() {
    local index=$1 figures
    shift
    [ -e "$index" ] && return
    say "$genome: building $(basename "$index")"
    rm -rf "$index.partial"
    figures=$(timed "$dir/logs/$(basename "$index")-build" "$@")
    built_now[$index]=1
    if [ "$figures" = failed ]; then
        echo "failed - - $(date -u "+%F %H:%M UTC")" >"$index.figures"
        return
    fi
    mv "$index.partial" "$index"
    echo "$figures $(bytes "$index") $(date -u "+%F %H:%M UTC")" >"$index.figures"
}

# An index table row from a peer's INDEX.figures.
#   peer_index_row TOOL INDEX
peer_index_row() {
    local tool=$1 index=$2 seconds=- memory=- size=- date note="built elsewhere, not measured"
    [ -s "$index.figures" ] && read -r seconds memory size date <"$index.figures" && note=""
    [ -n "$note" ] || [ -n "${built_now[$index]:-}" ] || note="from an earlier run ($date)"
    row "$genome" "$tool" "index build" "$seconds" "$memory" "$size" "$note" >>"$dir/index.tsv"
}

row() { local IFS=$'\t'; echo "$*"; }

# Seconds the aligner's own log gives to mapping, loading the index left out; empty if none.
#   own_mapping_seconds ALIGNER LOG
own_mapping_seconds() {
    case $1 in
        koru*) grep -o 'for Aligning.*Wall time = *[0-9.]*' "$2.out" | grep -o '[0-9.]*$' | tail -n 1 ;;
        minimap2*) awk '/loaded\/built the index/ { split($1, a, /[:*]/); loaded = a[5] }
            /Real time:/ { print $4 - loaded }' "$2.err" ;;
        snap*) awk '/Time in Aligner/ { getline; print $NF }' "$2.out" ;;
    esac
}

# Maps one kind of reads and adds a mapping row.
#   map_row KIND ALIGNER SAM COMMAND...
map_row() {
    local kind=$1 aligner=$2 sam=$3 log figures seconds memory own mapped placed precision note=""
    shift 3
    log="$dir/logs/$(basename "$sam" .sam)"
    say "$genome: $aligner maps the $kind reads"
    rm -f "$sam"
    figures=$(timed "$log" "$@")
    read -r seconds memory <<<"$figures"
    if [ "$figures" = failed ]; then
        note="failed, see logs/$(basename "$log").err"
    elif ! samtools quickcheck "$sam" 2>/dev/null; then
        note="malformed SAM"
    else
        own=$(own_mapping_seconds "$aligner" "$log")
        read -r mapped placed precision < <(evaluate "$sam")
    fi
    row "$genome" "$kind" "$aligner" "$pairs" "$seconds" "${memory:--}" "${mapped:--}" "${placed:--}" \
        "${precision:--}" "${own:--}" "$note" >>"$dir/mapping.tsv"
}

# A run on an empty read pair, which loads the index and maps nothing; adds its index row.
#   load_row TOOL LOG COMMAND...
load_row() {
    local tool=$1 log=$2 seconds memory
    shift 2
    say "$genome: $tool loads its index"
    read -r seconds memory < <(timed "$dir/logs/$log" "$@")
    row "$genome" "$tool" "load" "$seconds" "${memory:--}" - "" >>"$dir/index.tsv"
}

# Maps the paired-end reads, then the mate pairs; the command is completed with the reads, the
# output and the threads as the aligner takes them.
#   map_kinds ALIGNER SAM_PREFIX COMMAND...
map_kinds() {
    local aligner=$1 prefix=$2 kind
    shift 2
    for kind in pe mp; do
        local reads=("$dir/$kind${pairs}_1.fq" "$dir/$kind${pairs}_2.fq") sam="$dir/sam/$prefix-$kind.sam"
        local name=paired-end extra=(--isReadPairSequencingData true)
        [ $kind = mp ] && name=mate-pair && extra=(--isReadPairSequencingData false)
        case $aligner in
            koru*) map_row $name "$aligner" "$sam" "$@" --read1FastqFileName "${reads[0]}" \
                --read2FastqFileName "${reads[1]}" --samOutputFileName "$sam" -T 2 "${extra[@]}" ;;
            minimap2*) map_row $name "$aligner" "$sam" "$@" -o "$sam" "${reads[@]}" ;;
            snap*) map_row $name "$aligner" "$sam" "$@" "${reads[@]}" -o "$sam" -t 2 ;;
        esac
    done
}

# koru at one index sampling step: build the index file, load it, map both kinds of reads.
koru_step() {
    local step=$1 index="$dir/$name.kix" label=koru option=() figures seconds memory size=- chosen
    if [ "$step" != default ]; then
        index="$dir/$name.step$step.kix" label="koru step $step" option=(--indexSamplingStep "$step")
    fi
    say "$genome: $label builds its index"
    figures=$(timed "$dir/logs/koru-$step-build" "$bin/koru" --referenceGenomeFastaFileName "$fasta" \
        --writeIndexFile "$index" "${option[@]}")
    read -r seconds memory <<<"$figures"
    [ -e "$index" ] && size=$(bytes "$index")
    # koru says which step its default chose.
    chosen=$(grep -o 'sampling step = [0-9]*' "$dir/logs/koru-$step-build.out" | grep -o '[0-9]*$' || true)
    [ "$step" = default ] && [ -n "$chosen" ] && label="koru (default: step $chosen)"
    row "$genome" "$label" "index build" "$seconds" "${memory:--}" "$size" "" >>"$dir/index.tsv"
    if [ "$figures" != failed ]; then
        load_row "$label" "koru-$step-load" "$bin/koru" --indexFile "$index" \
            --read1FastqFileName "$dir/empty_1.fq" --read2FastqFileName "$dir/empty_2.fq" \
            --samOutputFileName "$dir/logs/empty.sam"
        map_kinds "$label" "koru-$step" "$bin/koru" --indexFile "$index"
    fi
    [ "${KEEP_KORU_INDEXES:-0}" = 1 ] || rm -f "$index"
    rm -f "$index.partial"
}

run_minimap2() {
    local index="$dir/minimap2.mmi"
    build_peer_index "$index" minimap2 -x sr -d "$index.partial" "$fasta"
    peer_index_row minimap2 "$index"
    [ -e "$index" ] || return 0
    load_row minimap2 minimap2-load minimap2 -t 2 -ax sr -o "$dir/logs/empty.sam" "$index" \
        "$dir/empty_1.fq" "$dir/empty_2.fq"
    map_kinds "minimap2 -ax sr" minimap2 minimap2 -t 2 -ax sr "$index"
}

# SNAP's build needs some 15 to 20 bytes a base (40 to 60 GB for a human genome): it is tried only
# where 16 bytes a base fit in this machine's memory.
snap_fits() {
    local memory
    memory=$(awk '/^MemTotal:/ { print $2 * 1024 }' /proc/meminfo)
    awk -v b="$1" -v m="$memory" 'BEGIN { exit !(b * 1e6 * 16 < m) }'
}

run_snap() {
    local index="$dir/snap-index" why="its index needs more memory than this machine has"
    if ! snap_fits "$megabases"; then
        say "$genome: snap-aligner not run: $why"
        row "$genome" snap-aligner "index build" "not run" - - "$why" >>"$dir/index.tsv"
        return
    fi
    build_peer_index "$index" snap-aligner index "$fasta" "$index.partial"
    peer_index_row snap-aligner "$index"
    [ -e "$index" ] || return 0
    load_row snap-aligner snap-load snap-aligner paired "$index" "$dir/empty_1.fq" "$dir/empty_2.fq" \
        -o "$dir/logs/empty.sam" -t 2
    map_kinds snap-aligner snap snap-aligner paired "$index"
}

# One genome, every tool; its rows go to index.tsv and mapping.tsv of its directory. Sets the
# globals the other functions work on: megabases, genome, name, dir, fasta.
bench_genome() {
    megabases=$1
    genome="$megabases Mbase" name="human$megabases" dir="$out/$megabases" fasta="$data/human$megabases.fa"
    local steps_variable="KORU_STEPS_$megabases" step
    mkdir -p "$dir/logs" "$dir/sam"
    ensure_genome "$megabases"
    ensure_reads "$fasta" "$dir/pe$pairs" --seed 42
    ensure_reads "$fasta" "$dir/mp$pairs" --mate-pair --seed 43
    : >"$dir/empty_1.fq"
    : >"$dir/empty_2.fq"
    : >"$dir/index.tsv"
    : >"$dir/mapping.tsv"
    for step in ${!steps_variable-default}; do koru_step "$step"; done
    if [ -z "${!steps_variable-default}" ]; then
        row "$genome" koru "index build" "not run" - - "$steps_variable is empty" >>"$dir/index.tsv"
    fi
    run_minimap2
    run_snap
    date -u "+%F %H:%M UTC" >"$dir/measured"
}

# The index table rows of a genome: seconds, MiB, and koru's ratios to minimap2 on the same task.
format_index_rows() {
    awk -F'\t' -v earlier="$1" '
        function number(x) { return x ~ /^[0-9.]+$/ }
        function ratio(a, b) {
            if (!number(a) || !number(b) || b == 0) return "-"
            return sprintf(a / b < 0.1 ? "%.3f" : "%.2f", a / b)
        }
        function mib(x, unit) { return number(x) ? sprintf("%.0f", x / unit) : x }
        NR == FNR { if ($2 == "minimap2") { s[$3] = $4; m[$3] = $5; b[$3] = $6 }; next }
        {
            r = ""
            if ($2 ~ /^koru/ && number($4)) r = ratio($4, s[$3]) " / " ratio($5, m[$3]) " / " ratio($6, b[$3])
            note = $7 != "" ? $7 : earlier
            seconds = number($4) ? sprintf("%.1f", $4) : $4
            printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, seconds, mib($5, 1024),
                mib($6, 1048576), r, note
        }' "$2" "$2"
}

# The mapping table rows of a genome; the second rate is from the aligner's own mapping time.
format_mapping_rows() {
    awk -F'\t' -v earlier="$1" '
        function number(x) { return x ~ /^[0-9.]+$/ }
        {
            rate = number($5) ? sprintf("%.0f", $4 / $5) : $5
            own = number($10) && $10 > 0 ? sprintf("%.0f", $4 / $10) : "-"
            peak = number($6) ? sprintf("%.0f", $6 / 1024) : $6
            note = $11 != "" ? $11 : earlier
            printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, rate, own, peak,
                $7, $8, $9, note
        }' "$2"
}

report_header() {
    echo "# Large human-like genomes"
    echo
    echo "Synthetic genomes from \`koru_make_synthetic_genome OUT.fa MEGABASES --human-like 1\`;" \
        "$pairs simulated 2x150 pairs of each kind (1% substitutions, an indel in 5% of reads;" \
        "paired-end inserts 400 +- 50; mate pairs from 2 to 5 kbase circularised fragments);" \
        "2 threads each; wall seconds and peak resident memory from /usr/bin/time;" \
        "$(nproc) cores, $(awk '/^MemTotal:/ { printf "%.0f", $2 / 1048576 }' /proc/meminfo) GiB."
    echo
    echo "Pairs/s is over the whole run, loading the index included; pairs/s mapping is over the" \
        "mapping time the aligner itself reports (koru and snap-aligner in whole seconds)." \
        "koru's load run reads and checks its whole index file (from the page cache when a run has" \
        "read it before, as here, except for the first load after writing it)." \
        "Of the mate pairs, about one read in five spans the junction with its longer part on" \
        "the far side, where its name gives the other part's position: about 0.81 is the most" \
        "that any aligner can score as placed within 5 there."
}

# Every genome measured so far, this run's and earlier ones' (marked so).
write_report() {
    local report="$out/large.md" dirs=() d
    for d in $(ls "$out" | sort -n); do [ -s "$out/$d/measured" ] && dirs+=("$out/$d"); done
    {
        report_header
        echo
        for d in "${dirs[@]}"; do
            echo "- $(basename "$d") Mbase: $(cat "$data/human$(basename "$d").fa.makeup" 2>/dev/null ||
                echo "make-up not recorded")"
        done
        echo
        echo "| genome | tool | task | seconds | peak MiB | index MiB | koru / minimap2 (seconds, peak, index) | note |"
        echo "|---|---|---|---|---|---|---|---|"
        for d in "${dirs[@]}"; do format_index_rows "$(earlier_note "$d")" "$d/index.tsv"; done
        echo
        echo "| genome | reads | aligner | pairs/s | pairs/s mapping | peak MiB | mapped |" \
            "placed within 5 | precision at MAPQ >= 20 | note |"
        echo "|---|---|---|---|---|---|---|---|---|---|"
        for d in "${dirs[@]}"; do format_mapping_rows "$(earlier_note "$d")" "$d/mapping.tsv"; done
    } >"$report"
    cat "$report"
}

# Empty for a genome of this run, else when it was measured.
earlier_note() {
    local genome
    for genome in "${genomes[@]}"; do [ "$1" = "$out/$genome" ] && return; done
    echo "from an earlier run ($(cat "$1/measured"))"
}

for megabases in "${genomes[@]}"; do bench_genome "$megabases"; done
write_report
