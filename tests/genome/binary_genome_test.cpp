// Pre-encoded binary genome files, format types 0 and 1.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "genome/binary_genome.h"
#include "genome/genome_test_helpers.h"
#include "support/locked_file.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::asciiOf;
using ::testing::ExitedWithCode;
using testing::Layout;
using testing::layoutOf;

// Three words: 32 A, 32 C, and a mixed word.
const std::vector<std::uint32_t> kThreeWords = {0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xF0F0F0F0, 0xFF00FF00};

// A chromosome's number, word count and (base, check) pairs; format 1 follows them with as many
// values that are skipped, here values that would show if they were read.
std::vector<std::uint32_t> chromosomeValues(std::uint32_t number, const std::vector<std::uint32_t>& pairs,
                                            bool withSkippedPairs) {
    std::vector<std::uint32_t> values = {number, static_cast<std::uint32_t>(pairs.size() / 2)};
    values.insert(values.end(), pairs.begin(), pairs.end());
    if (withSkippedPairs) values.insert(values.end(), pairs.size(), 0x12345678);
    return values;
}

std::unique_ptr<GenomeSequence> binaryGenome(const std::vector<std::uint32_t>& values,
                                             std::uint32_t formatType, std::uint32_t numberOfChromosomes) {
    return testing::genomeOf(testing::littleEndianValues(values), "genome.bin", formatType,
                             numberOfChromosomes);
}

void expectThreeWordChromosome(const GenomeSequence& genome) {
    ASSERT_GE(genome.chromosomes.size(), 1u);
    const ChromosomeInformation& chromosome = genome.chromosomes[0];
    EXPECT_EQ(std::tuple(chromosome.name, chromosome.chromosomeNumber, chromosome.accession,
                         chromosome.endPositionInChromosome),
              std::tuple("1", 1u, "", 96u));
    EXPECT_EQ(layoutOf(chromosome), (Layout{96, 128, 0, 3, 0, 127}));
    // The text shows both planes; then the zero word that keeps chromosomes on even words.
    EXPECT_EQ(asciiOf(genome, 0, 128), std::string(32, 'A') + std::string(32, 'C') +
                                           "GGGGCCCCAAAATTTTGGGGCCCCAAAATTTT" + std::string(32, 'T'));
}

// Format 0 read from a file: three words padded to an even four; an empty genome; and values after
// the last chromosome the genome information counts, which are not read.
TEST(BinaryGenome, FormatZeroIsPaddedToAnEvenWordAndReadsOnlyTheCountedChromosomes) {
    testing::TemporaryDirectory directory;
    const auto information = testing::genomeInformation(
        directory.write("genome26.hs", testing::littleEndianValues(chromosomeValues(1, kThreeWords, false))),
        binaryGenomeFormatType0, 1);
    const auto timers = createLockedFile(directory.file("timers"), false, false);
    const auto genome = createGenomeSequence(information.get(), timers.get());
    expectThreeWordChromosome(*genome);
    EXPECT_EQ(std::tuple(genome->utilizedBinaryEncodedArraySize, genome->allocatedBinaryEncodedArraySize,
                         genome->sequenceLength, genome->paddedSequenceLength),
              std::tuple(4u, 4u, 96u, 128u));
    EXPECT_EQ(asciiOf(*genome, 96, 1024), std::string(32, 'T')) << "the zero word, then no text";
    const auto empty = binaryGenome({}, binaryGenomeFormatType0, 0);
    EXPECT_EQ(std::tuple(empty->chromosomes.size(), empty->utilizedBinaryEncodedArraySize,
                         empty->sequenceLength, empty->paddedSequenceLength, asciiOf(*empty, 0, 1024)),
              std::tuple(0u, 0u, 0u, 0u, ""));
    const auto trailing = binaryGenome({3, 2, 1, 2, 3, 4, 9, 9, 9}, binaryGenomeFormatType0, 1);
    EXPECT_EQ(std::tuple(trailing->chromosomes.size(), trailing->utilizedBinaryEncodedArraySize,
                         trailing->checkWord(1)),
              std::tuple(1u, 2u, 4u));
}

TEST(BinaryGenome, FormatOneSkipsTheExtraPairsAndReadsTheSame) {
    // 56 bytes give 3 words by the file size; the zero word still has to exist.
    const auto single = binaryGenome(chromosomeValues(1, kThreeWords, true), binaryGenomeFormatType1, 1);
    expectThreeWordChromosome(*single);
    EXPECT_GE(single->allocatedBinaryEncodedArraySize, 4u);

    std::vector<std::uint32_t> values = chromosomeValues(1, kThreeWords, true);
    const std::vector<std::uint32_t> second = chromosomeValues(7, {0xAAAAAAAA, 0x55555555, 1, 2}, true);
    values.insert(values.end(), second.begin(), second.end());
    const auto genome = binaryGenome(values, binaryGenomeFormatType1, 2);
    expectThreeWordChromosome(*genome);
    ASSERT_EQ(genome->chromosomes.size(), 2u);
    const ChromosomeInformation& seven = genome->chromosomes[1];
    EXPECT_EQ(std::tuple(seven.name, seven.chromosomeNumber), std::tuple("7", 7u));
    EXPECT_EQ(layoutOf(seven), (Layout{64, 64, 4, 5, 128, 191}));
    EXPECT_EQ(asciiOf(*genome, 128, 4), "ACAC");
    EXPECT_EQ(genome->checkWord(5), 2u);
    EXPECT_EQ(std::tuple(genome->sequenceLength, genome->paddedSequenceLength), std::tuple(96u + 64u, 192u));
}

TEST(BinaryGenome, FilesShorterThanTheirChromosomesAreRefused) {
    const auto threeWords = chromosomeValues(1, kThreeWords, false);
    const struct {
        std::vector<std::uint32_t> values;
        std::uint32_t formatType, chromosomes, chromosome;
        std::uint64_t needed, held;
    } cases[] = {
        {threeWords, binaryGenomeFormatType0, 2, 2, 40, 32},
        {{1, 5, 1, 2, 3, 4}, binaryGenomeFormatType0, 1, 1, 48, 24},
        {threeWords, binaryGenomeFormatType1, 1, 1, 56, 32},  // format 1 without its extra pairs
        // A word count near 2^32 must not wrap the size check.
        {{1, 0xFFFFFFFF, 1, 2}, binaryGenomeFormatType1, 1, 1, 68719476728, 16},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(binaryGenome(c.values, c.formatType, c.chromosomes), ExitedWithCode(1),
                    "^ERROR: The binary genome file \"genome.bin\" ends inside chromosome " +
                        std::to_string(c.chromosome) + " of " + std::to_string(c.chromosomes) +
                        ": its data needs " + std::to_string(c.needed) + " bytes, but the file has only " +
                        std::to_string(c.held) + ".\n$");
    EXPECT_EXIT(binaryGenome({1, 1, 2, 3, 4, 0}, binaryGenomeFormatType0, 2), ExitedWithCode(1),
                "^ERROR: Chromosome 2 of 2 in the binary genome file \"genome.bin\" has no words.\n$");
}

}  // namespace
}  // namespace koru
