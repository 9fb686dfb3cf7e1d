// Pre-encoded binary genome files (--binaryReferenceGenome): the first input byte gives the format
// type (its low bit) and the chromosome count the genome information would hold (the rest of it);
// the other bytes are the file.

#include <cstdint>

#include "fuzz_support.h"

using namespace koru;
using namespace koru::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::string path = scratchPath("genome.bin");
    writeScratchFile(path, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    GenomeInformation information;
    information.file = path;
    information.formatType = (data[0] & 1) != 0 ? binaryGenomeFormatType1 : binaryGenomeFormatType0;
    information.numberOfChromosomes = data[0] >> 1;
    std::unique_ptr<GenomeSequence> genome;
    if (!accepted([&] { genome = createGenomeSequence(&information, nullptr); })) return 0;
    KORU_FUZZ_CHECK(genome->chromosomes.size() == information.numberOfChromosomes);
    if (!genome->chromosomes.empty()) checkGenome(*genome);
    return 0;
}
