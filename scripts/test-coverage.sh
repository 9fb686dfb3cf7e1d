#!/usr/bin/env bash
# Which lines of src/ the unit and end-to-end tests reach, with clang's source-based coverage. The
# end-to-end tests' runs of the koru binaries count too: every process writes its own profile.
#
#   scripts/test-coverage.sh [BUILD_DIR]                     summary, and BUILD_DIR/covered-lines.txt
#   scripts/test-coverage.sh [BUILD_DIR] --compare BEFORE    also the lines BEFORE reached that the
#                                                           tests no longer reach (status 1 if any)
#
# The list is one "file:line" per reached line, so two lists compare with comm: a change to the
# tests that loses no line keeps what they exercise, though not necessarily what they check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-coverage}
before=""
if [ "${2:-}" = "--compare" ]; then before=$(realpath "$3"); fi
cd "$root"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g0" -DKORU_COVERAGE=ON >/dev/null
ninja -C "$build" >/dev/null
profiles="$build/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
LLVM_PROFILE_FILE="$(realpath "$profiles")/%p-%m.profraw" ctest --test-dir "$build" -j2 --output-on-failure >"$build/ctest.log" ||
    { tail -30 "$build/ctest.log"; echo "The tests failed under coverage; see $build/ctest.log." >&2; exit 1; }
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$build/koru.profdata"

objects=()
for binary in koru koru_simulate_reads koru_pair_allocations koru_split_fastq koru_merge_statistics; do
    [ -x "$build/$binary" ] && objects+=(-object "$build/$binary")
done
arguments=("$build/tests/koru_tests" "${objects[@]}" -instr-profile="$build/koru.profdata")
llvm-cov-14 report "${arguments[@]}" "$root/src" >"$build/coverage-report.txt" 2>/dev/null
llvm-cov-14 export -format=lcov "${arguments[@]}" "$root/src" 2>/dev/null |
    awk -v root="$root/" '/^SF:/ { file = substr($0, 4); sub(root, "", file) }
        /^DA:/ { split(substr($0, 4), f, ","); if (f[2] > 0) print file ":" f[1] }' |
    LC_ALL=C sort -u >"$build/covered-lines.txt"
tail -1 "$build/coverage-report.txt" | awk '{ printf "lines reached: %s of %s (%s)\n", $8 - $9, $8, $10 }'
echo "per file: $build/coverage-report.txt; reached lines: $build/covered-lines.txt"

if [ -n "$before" ]; then
    lost=$(LC_ALL=C comm -23 "$before" "$build/covered-lines.txt")
    if [ -n "$lost" ]; then
        echo "Lines the tests reached before and no longer reach:"
        echo "$lost"
        exit 1
    fi
    echo "No line that the tests reached before is lost."
fi
