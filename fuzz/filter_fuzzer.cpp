// The candidate position filter file (--candidatePositionFilterFile): the input is the file. Its
// ranges are read as the command line reads them, resolved against the reference's chromosomes as
// a run resolves them, and applied while read pairs are mapped.

#include <cstdint>

#include "fuzz_support.h"

using namespace koru;
using namespace koru::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    lambdaReference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Reference& reference = lambdaReference();
    static const std::unique_ptr<ExecutionParameters> params = mappingParameters(*reference.genome);
    static const std::unique_ptr<SequenceFile> reads = [] {
        SequenceFileOpening opening =
            openSequenceFile(createInMemoryFile("pairs.seq", lambdaSequenceRecords(6)), 1, std::nullopt);
        KORU_FUZZ_CHECK(opening.sequenceFile != nullptr);
        return std::move(opening.sequenceFile);
    }();
    static const std::string path = scratchPath("filters.txt");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    writeScratchFile(path, text);

    // A file starting with gzip's magic bytes is read decompressed, and refused when it is not gzip.
    std::unique_ptr<MemoryMappedFile> file;
    if (!accepted([&] { file = createMemoryMappedFile(path); })) return 0;
    const std::string_view contents = file->text();
    std::vector<CandidatePositionFilter> filters = readCandidatePositionFilters(contents);
    KORU_FUZZ_CHECK(filters.size() <=
                    static_cast<std::size_t>(std::count(contents.begin(), contents.end(), '\n')));
    if (!accepted(
            [&] { lookupGenomePositionsForCandidatePositionFilters(*reference.genome, filters, path); }))
        return 0;
    for (const CandidatePositionFilter& filter : filters) {
        if (filter.chromosome == 0) continue;
        const ChromosomeInformation* chromosome =
            getChromosomeSequenceInformationForChromosome(filter.chromosome, *reference.genome);
        KORU_FUZZ_CHECK(chromosome != nullptr);
        // A range stays inside its chromosome, however far past its end the file names it.
        for (const std::uint32_t position : {filter.startPositionInGenome, filter.endPositionInGenome})
            KORU_FUZZ_CHECK(position >= chromosome->startGenomePosition &&
                            position <= chromosome->endGenomePosition);
    }
    params->candidatePositionFilters = std::move(filters);
    KORU_FUZZ_CHECK(accepted([&] { mapSequenceFile(*reads, *reference.indexes, *params); }));
    return 0;
}
