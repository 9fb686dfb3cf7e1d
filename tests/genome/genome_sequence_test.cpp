// The genome record: creation from a file, chromosome lookups and filter resolution.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "genome/genome_sequence.h"
#include "genome/genome_test_helpers.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::genomeParameters;
using testing::Layout;
using testing::layoutOf;
using testing::TemporaryDirectory;

// Chromosome 1: 100 bases in positions 0-159 (words 0-4); chromosome 2: 40 bases in 160-255 (words 5-7).
std::unique_ptr<GenomeSequence> twoChromosomeGenome() {
    return fastaGenome(">one\n" + std::string(60, 'A') + "\n" + std::string(40, 'C') + "\n>two\n" +
                       std::string(40, 'G') + "\n");
}

// Creation copies the genome information, counts its chromosomes there and leaves the caller's
// record alone; a compressed file, whatever its name, gives the same genome.
TEST(GenomeSequence, CreationFromAPlainOrAGzipCompressedFasta) {
    TemporaryDirectory directory;
    std::string text = ">chr1 test\n";
    for (int line = 0; line < 500; ++line) text += "ACGTTGCANNACGGTACCAT\n";
    text += ">chr2\nacgtRYN\n";
    ExecutionParameters params = genomeParameters(directory.write("plain.fa", text), fastaGenomeFormatType);
    params.genomeInformation->species = "test";
    const auto plain = createGenomeSequence(params.genomeInformation.get(), nullptr);
    EXPECT_EQ(plain->genomeInformation->species, "test");
    EXPECT_EQ(plain->genomeInformation->numberOfChromosomes, 2u);
    EXPECT_EQ(params.genomeInformation->numberOfChromosomes, 0u);
    params.genomeInformation->file = directory.write("compressed.fa", testing::gzipCompress(text));
    const auto compressed = createGenomeSequence(params.genomeInformation.get(), nullptr);
    ASSERT_EQ(compressed->chromosomes.size(), plain->chromosomes.size());
    EXPECT_EQ(compressed->chromosomes[1].name, "chr2");
    EXPECT_EQ(compressed->asciiEncodedArrayLength, text.size() - text.size() / 80)
        << "sized by the decompressed text";
    EXPECT_EQ(testing::asciiOf(*compressed, 0, compressed->paddedSequenceLength),
              testing::asciiOf(*plain, 0, plain->paddedSequenceLength));
    EXPECT_EQ(std::memcmp(compressed->planeWords.get(), plain->planeWords.get(),
                          8 * plain->utilizedBinaryEncodedArraySize),
              0);
}

TEST(GenomeSequence, MissingGenomeInformationAndUnknownFormatsEndTheRun) {
    EXPECT_EXIT(createGenomeSequence(nullptr, nullptr), ExitedWithCode(1),
                "^ERROR: No reference genome was given.\n$");
    EXPECT_EXIT(createGenomeSequence(genomeParameters("/dev/null", 3).genomeInformation.get(), nullptr),
                ExitedWithCode(1), "^ERROR: An unrecognized genome format file type was provided.$");
}

TEST(GenomeLookup, TwoChromosomeLayout) {
    const auto genome = twoChromosomeGenome();
    const ChromosomeInformation& one = genome->chromosomes[0];
    const ChromosomeInformation& two = genome->chromosomes[1];
    EXPECT_EQ(layoutOf(one), (Layout{100, 160, 0, 4, 0, 159}));
    EXPECT_EQ(layoutOf(two), (Layout{40, 96, 5, 7, 160, 255}));
    // Every position's chromosome is held against a scan below.
    EXPECT_EQ(getChromosomeSequenceInformationForChromosome(2, *genome), &two);
    EXPECT_EQ(getChromosomeSequenceInformationForChromosome(3, *genome), nullptr);
    EXPECT_EQ(getChromosomeSequenceInformationForChromosome(0, *genome), nullptr);

    std::string text;
    EXPECT_EQ(referenceText(*genome, 158, 4, text), "NNGG");
    EXPECT_EQ(referenceText(*genome, 250, 20, text), "NNNNNN") << "the text ends with the padded sequence";
    EXPECT_EQ(referenceText(*genome, genome->paddedSequenceLength, 4, text), "");
}

// The text is decoded from the planes, the uncalled plane and the runs of other letters: every
// window of it must be the FASTA's upper-cased text with its padding and separators.
TEST(GenomeText, EveryWindowIsTheFastaText) {
    std::mt19937 random(29);
    const std::string letters = "ACGTACGTACGTacgtNNNnRYKMSWBDHVX-*.";
    std::string fasta, expected;
    for (const std::size_t length : {std::size_t{70}, std::size_t{32}, std::size_t{301}, std::size_t{5}}) {
        // Runs of one to four of a letter, so that runs of other letters meet and part.
        std::string bases;
        while (bases.size() < length) bases.append(1 + random() % 4, letters[random() % letters.size()]);
        bases.resize(length);
        if (length == 301) bases.replace(40, 90, std::string(90, 'n'));  // a long run across words
        fasta += ">c" + std::to_string(length) + "\n" + bases + "\n";
        std::string upper = bases;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        expected += upper + std::string((32 - length % 32) % 32 + 32, 'N');
    }
    const auto genome = fastaGenome(fasta);
    ASSERT_EQ(genome->paddedSequenceLength, expected.size());
    std::string text;
    for (std::size_t start = 0; start < expected.size(); start += 7)
        for (const std::size_t length : {std::size_t{1}, std::size_t{31}, std::size_t{33}, std::size_t{150}})
            ASSERT_EQ(referenceText(*genome, start, length, text), expected.substr(start, length))
                << start << " " << length;
    EXPECT_FALSE(genome->otherLetters.empty());
    EXPECT_EQ(genome->uncalledPlaneWords[genome->utilizedBinaryEncodedArraySize - 1], 0xFFFFFFFFu)
        << "the last separator";
}

TEST(GenomeLookup, PositionSearchAgreesWithAScanInTableOrder) {
    std::string text;
    for (int chromosome = 0; chromosome < 40; ++chromosome)
        text += ">c" + std::to_string(chromosome) + "\n" +
                std::string(static_cast<std::size_t>(1 + chromosome * 37 % 101), 'T') + "\n";
    const auto genome = fastaGenome(text);
    for (std::uint64_t position = 0; position < genome->paddedSequenceLength + 40; ++position) {
        const ChromosomeInformation* scanned = nullptr;
        for (const ChromosomeInformation& chromosome : genome->chromosomes)
            if (chromosome.startGenomePosition <= position && position <= chromosome.endGenomePosition) {
                scanned = &chromosome;
                break;
            }
        ASSERT_EQ(getChromosomeInformationForGenomePosition(position, *genome), scanned) << position;
    }
    EXPECT_EQ(getChromosomeInformationForGenomePosition(0, GenomeSequence{}), nullptr);
}

TEST(CandidatePositionFilters, ResolveToGenomeRanges) {
    const auto genome = twoChromosomeGenome();
    const auto filter = [](std::uint32_t chromosome, std::uint32_t start, std::uint32_t end) {
        CandidatePositionFilter f;
        f.chromosome = chromosome, f.startPositionInChromosome = start, f.endPositionInChromosome = end;
        f.startPositionInGenome = f.endPositionInGenome = 99;
        return f;
    };
    // Past the end a range stops at the chromosome's last position instead of reaching the next one
    // or wrapping around the genome; chromosome 0 is none.
    std::vector<CandidatePositionFilter> filters{filter(2, 10, 20), filter(0, 5, 9), filter(1, 100, 1000),
                                                 filter(2, 0, 0xFFFFFFFF)};
    lookupGenomePositionsForCandidatePositionFilters(*genome, filters, "filters.txt");
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const CandidatePositionFilter& f : filters)
        ranges.emplace_back(f.startPositionInGenome, f.endPositionInGenome);
    EXPECT_EQ(ranges, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                          {170, 180}, {0, 0}, {100, 159}, {160, 255}}));
}

}  // namespace
}  // namespace koru
