#pragma once
// What the fuzz targets share: refused inputs turned into exceptions, a scratch directory for the
// inputs that koru reads from files, a small indexed reference to map against (the lambda phage
// genome cut into three chromosomes), and the parameters of a run that writes its SAM, QMR and
// reports to /dev/null.
//
// koru ends the process on every refused input (src/support/errors.h). A fuzz target installs an
// error hook that throws Refused instead, and catches it around the step under test, so that one
// refused input ends one attempt and the fuzzer goes on. The exception unwinds the owners of
// memory and descriptors, so that what a refused input leaves behind is a leak LeakSanitizer
// reports rather than noise a longjmp would make; the price is that the step must run on the
// target's own thread, outside OpenMP regions, which is how the targets call it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "io/sequence_file.h"
#include "support/memory_mapped_file.h"

namespace koru::fuzz {

// What the error hook throws: koru refused the input with this message.
struct Refused {
    std::string message;
};

// Installs the throwing error hook and sends standard output (help texts, reports) to /dev/null.
// Every target calls it from LLVMFuzzerInitialize.
void prepareFuzzing();

// Prints why an input was refused when KORU_FUZZ_VERBOSE is set, for looking at seeds and findings.
void noteRefusal(const Refused& refusal);

// Runs the step; false when koru refused the input on the way.
template <class Step>
bool accepted(Step&& step) {
    try {
        step();
        return true;
    } catch (const Refused& refusal) {
        noteRefusal(refusal);
        return false;
    }
}

// A broken invariant is a finding: the fuzzer records the input and stops.
#define KORU_FUZZ_CHECK(condition)                                                             \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// A directory of this process's own, removed when the process ends.
const std::string& scratchDirectory();
std::string scratchPath(std::string_view name);
void writeScratchFile(const std::string& path, std::string_view contents);
std::string readWholeFile(const std::string& path);
// Makes the file at path, which holds `previous` (empty: nothing yet), hold `contents`, writing
// only the 4 KiB blocks that differ: for targets that present a large file with small changes.
void rewriteScratchFile(const std::string& path, std::string_view previous, std::string_view contents);

// The text as a gzip file: one member, or two when `members` is 2 (the text cut in the middle),
// as concatenated and block-compressed files hold.
std::string gzipCompressed(std::string_view text, int members = 1);

// The input cut at its first NUL byte: the text before it and the text after it (empty without one).
std::pair<std::string_view, std::string_view> splitAtNul(const std::uint8_t* data, std::size_t size);

struct Reference {
    std::vector<std::string> chromosomes;  // upper-case bases
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> counts;
    std::unique_ptr<BinaryIndexes> indexes;
};

// Built once: the lambda phage genome (data/lambda_phage.fa) as chromosomes of 20,000, 15,000 and
// 13,502 bases, indexed with the default limits.
const Reference& lambdaReference();

// Sequence record lines of read pairs cut from the reference, 100-base reads 300 bases apart on
// opposite strands, as a mapping request would bring them.
std::string lambdaSequenceRecords(std::uint32_t records);

// A run's parameters for mapping against a genome with these chromosomes: SAM and QMR requested
// and written to /dev/null, as are the reports.
std::unique_ptr<ExecutionParameters> mappingParameters(const GenomeSequence& genome);

// Maps every record of the file against the indexes, as a sequence file request does.
void mapSequenceFile(const SequenceFile& file, const BinaryIndexes& indexes,
                     const ExecutionParameters& params);

// The invariants that mapping relies on in any genome koru accepted: chromosomes in position order
// inside the padded sequence and the planes, every position's text decodable, every chromosome
// found by its positions and by its number.
void checkGenome(const GenomeSequence& genome);

}  // namespace koru::fuzz
