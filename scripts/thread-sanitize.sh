#!/usr/bin/env bash
# koru under ThreadSanitizer: a FASTQ request and a sequence file request, each on two threads,
# must run without a single report and write what a one-thread run writes. Clang's OpenMP runtime
# is not instrumented; its Archer tool tells ThreadSanitizer about OpenMP's own synchronisation,
# and reports from inside the runtime are ignored.
#   scripts/thread-sanitize.sh BUILD_DIR TSAN_BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tsan=$2
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
    -DKORU_BUILD_TESTS=OFF >/dev/null
ninja -C "$tsan" koru >/dev/null
archer=$(ls /usr/lib/llvm-*/lib/libarcher.so 2>/dev/null | head -1)
[ -n "$archer" ] || { echo "libarcher.so (clang's OpenMP race tool) not found" >&2; exit 1; }
export OMP_TOOL_LIBRARIES=$archer TSAN_OPTIONS="halt_on_error=1 exitcode=66 ignore_noninstrumented_modules=1"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
genome=$root/data/lambda_phage.fa
"$build/koru_simulate_reads" "$genome" "$work/r1.fq" "$work/r2.fq" --pairs 20000 --length 100 \
    --substitutions 0.01 --indels 0.05 --seed 5 >/dev/null
"$build/koru" --referenceGenomeFastaFileName "$genome" --writeIndexFile "$work/g.kix" >/dev/null

# Four sequence files cut from the same reads: a fixed-width record number, then the two reads.
mkdir "$work/seqs"
paste <(awk 'NR % 4 == 2' "$work/r1.fq") <(awk 'NR % 4 == 2' "$work/r2.fq") |
    awk 'NR <= 8000 { printf "%06d %s %s\n", NR, $1, $2 > sprintf("'"$work"'/seqs/part_%d.seq", 1 + int((NR - 1) / 2000)) }'

run() {
    local name=$1 threads=$2
    shift 2
    "$tsan/koru" --indexFile "$work/g.kix" "$@" --samOutputFileName "$work/$name.$threads.sam" \
        --qmrOutputFileName "$work/$name.$threads.qmr" -T "$threads" >"$work/$name.out" 2>"$work/$name.err" || {
        echo "ThreadSanitizer run of the $name request failed:" >&2
        cat "$work/$name.err" >&2
        exit 1
    }
}
same() {
    cmp -s <(grep -v '^[@#]' "$work/$1.1.$2") <(grep -v '^[@#]' "$work/$1.2.$2") ||
        { echo "the $1 request's $2 differs between one and two threads" >&2; exit 1; }
}
for threads in 1 2; do
    run fastq "$threads" --read1FastqFileName "$work/r1.fq" --read2FastqFileName "$work/r2.fq"
    run sequence-file "$threads" -d "$work/seqs"
done
for request in fastq sequence-file; do same "$request" sam; same "$request" qmr; done
echo "ThreadSanitizer: no report from the FASTQ and sequence file requests on two threads"
