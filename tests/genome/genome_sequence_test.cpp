// The genome record: chromosome lookups, reference text and filter resolution. The text of random
// genomes is held against a model in fasta_model_test.cpp.

#include "genome/genome_sequence.h"

#include <gtest/gtest.h>

#include <string>

#include "genome/genome_test_helpers.h"

namespace koru {
namespace {

using testing::asciiOf;

TEST(GenomeSequence, MissingGenomeInformationAndUnknownFormatsEndTheRun) {
    EXPECT_EXIT(createGenomeSequence(nullptr, nullptr), ::testing::ExitedWithCode(1),
                "^ERROR: No reference genome was given.\n$");
    EXPECT_EXIT(createGenomeSequence(testing::genomeInformation("/dev/null", 3).get(), nullptr),
                ::testing::ExitedWithCode(1),
                "^ERROR: An unrecognized genome format file type was provided.$");
}

// Chromosome 1: 100 bases in positions 0-159; chromosome 2: 40 bases in 160-255, separator included.
// A filter past a chromosome's end stops at its last position instead of reaching the next one or
// wrapping around the genome; chromosome 0 is none.
TEST(GenomeLookup, ChromosomesTextAndFilterRangesAtTheEdges) {
    const auto genome = testing::fastaGenome(">one\n" + std::string(60, 'A') + "\n" + std::string(40, 'C') +
                                             "\n>two\n" + std::string(40, 'G') + "\n");
    const ChromosomeInformation *one = &genome->chromosomes[0], *two = &genome->chromosomes[1];
    const auto number = [&](std::uint32_t n) {
        return getChromosomeSequenceInformationForChromosome(n, *genome);
    };
    const auto at = [&](std::uint64_t p) { return getChromosomeInformationForGenomePosition(p, *genome); };
    using Found = std::vector<const ChromosomeInformation*>;
    EXPECT_EQ(Found({number(0), number(2), number(3)}), Found({nullptr, two, nullptr}));
    EXPECT_EQ(Found({at(0), at(159), at(160), at(255), at(256)}), Found({one, one, two, two, nullptr}));
    EXPECT_EQ(getChromosomeInformationForGenomePosition(0, GenomeSequence{}), nullptr);
    EXPECT_EQ(asciiOf(*genome, 158, 4), "NNGG");
    EXPECT_EQ(asciiOf(*genome, 250, 20), "NNNNNN") << "the text ends with the padded sequence";
    EXPECT_EQ(asciiOf(*genome, 256, 4), "");

    std::vector<CandidatePositionFilter> filters;
    const std::uint32_t requested[][3] = {{2, 10, 20}, {0, 5, 9}, {1, 100, 1000}, {2, 0, 0xFFFFFFFF}};
    for (const auto& r : requested) filters.push_back({99, 99, r[0], r[1], r[2]});
    lookupGenomePositionsForCandidatePositionFilters(*genome, filters, "filters.txt");
    std::vector<std::uint32_t> ranges;
    for (const CandidatePositionFilter& f : filters)
        ranges.insert(ranges.end(), {f.startPositionInGenome, f.endPositionInGenome});
    EXPECT_EQ(ranges, std::vector<std::uint32_t>({170, 180, 0, 0, 100, 159, 160, 255}));
}

}  // namespace
}  // namespace koru
