// FASTA reference reading: layout, planes, array sizes, refusals and header rules.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "genome/fasta_reference.h"
#include "genome/genome_test_helpers.h"

namespace koru {
namespace {

using testing::asciiOf;
using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::Layout;
using testing::layoutOf;

// Bases, planes, text and counters are held against a model in fasta_model_test.cpp; here, where
// chromosomes lie: each is padded to whole words and followed by a word of separator.
TEST(FastaReference, ShortAndWholeWordChromosomesAreEachPaddedAndSeparated) {
    const auto genome =
        fastaGenome(">a\nACGTN\n>b\n" + std::string(16, 'C') + "\n" + std::string(16, 'G') + "\n>c\nA\n");
    ASSERT_EQ(genome->chromosomes.size(), 3u);
    const ChromosomeInformation& a = genome->chromosomes[0];
    EXPECT_EQ(std::tuple(a.name, a.chromosomeNumber, a.endPositionInChromosome), std::tuple("a", 1u, 5u));
    EXPECT_EQ(layoutOf(a), (Layout{5, 64, 0, 1, 0, 63}));
    EXPECT_EQ(layoutOf(genome->chromosomes[1]), (Layout{32, 64, 2, 3, 64, 127}));
    EXPECT_EQ(layoutOf(genome->chromosomes[2]), (Layout{1, 64, 4, 5, 128, 191}));
    EXPECT_EQ(genome->sequenceLength, 129u);
    // No run of 32 N: the quality of a key in an unmapped region stays unset.
    EXPECT_EQ(genome->mappingQualityOfKeyBelongingToUnmappedRegion, 2147483648u);
}

// The counters themselves are checked against the model in fasta_model_test.cpp.
TEST(FastaReference, UnmappedRegionQualityFollowsTheRunsOfUncalledBases) {
    // 40 N after another base: 8 positions end a run of 32. ceiling(-10 log10(8 / 42)) = 8.
    const auto forty = fastaGenome(">a\nA" + std::string(20, 'N') + "\n" + std::string(20, 'N') + "\nA\n");
    EXPECT_EQ(forty->sequenceStatistics.positionsWhere32ConsecutiveUncalledBasesDetected, 8u);
    EXPECT_EQ(forty->mappingQualityOfKeyBelongingToUnmappedRegion, 8u);
    // A chromosome starts after an imagined N, so 32 leading N already make a run: ceiling(15.05) = 16.
    const auto leading = fastaGenome(">a\n" + std::string(32, 'N') + "\n");
    EXPECT_EQ(leading->mappingQualityOfKeyBelongingToUnmappedRegion, 16u);
}

TEST(FastaReference, ArraysAreLargeEnoughWhenTheFileSizeSuggestsTooLittle) {
    // One sequence line without line feeds: the file is barely larger than its bases.
    std::string bases;
    for (int base = 0; base < 1000; ++base) bases.push_back("ACGT"[base * 7 % 4]);
    const auto oneLine = fastaGenome(">a\n" + bases);
    EXPECT_EQ(oneLine->paddedSequenceLength, 1024u + 32u);
    EXPECT_GE(oneLine->asciiEncodedArrayLength, oneLine->paddedSequenceLength);
    EXPECT_GE(oneLine->allocatedBinaryEncodedArraySize, oneLine->utilizedBinaryEncodedArraySize);
    EXPECT_EQ(asciiOf(*oneLine, 0, 1000), bases);
    EXPECT_EQ(asciiOf(*oneLine, 1000, 56), std::string(56, 'N'));

    // Many one-base chromosomes: 64 positions each from 4 bytes of file.
    std::string many;
    for (int chromosome = 0; chromosome < 300; ++chromosome) {
        many += '>';  // appended apart: g++ 12 warns falsely about ">" + std::string
        many += std::to_string(chromosome) + "\nG\n";
    }
    const auto genome = fastaGenome(many);
    ASSERT_EQ(genome->chromosomes.size(), 300u);
    EXPECT_EQ(genome->utilizedBinaryEncodedArraySize, 600u);
    EXPECT_GE(genome->allocatedBinaryEncodedArraySize, 600u);
    EXPECT_EQ(genome->baseWord(598), 0x80000000u);
    EXPECT_EQ(genome->checkWord(598), 0x80000000u);
    EXPECT_EQ(genome->chromosomes[299].endGenomePosition, 300u * 64 - 1);
    EXPECT_EQ(genome->sequenceLength, 299u * 64 + 1);
}

// The duplicate names, nameless headers, chromosomes without bases and digits once gave SAM that
// samtools refuses, or bases that are not in the file.
TEST(FastaReference, FilesWithoutSequenceDataOrWithBrokenHeadersOrNamesEndTheRun) {
    const std::string noHeader = "does not start with a header line \\(\">name\"\\)";
    const struct {
        std::string text, refusal;
    } cases[] = {
        {"", "has no sequence data"},
        {"ACGT\nACGT\n", "has no sequence data"},
        {"\n>a\nACGT\n", noHeader},    // an empty line before the first header
        {"AC\n>a\nACGT\n", noHeader},  // bases before the first header
        {">a>b\nACGT\n", "has a header that cannot be read at line 1"},             // a '>' inside the header
        {">a", "has a header that cannot be read at line 1"},                       // no line feed
        {">a\nAC\n>gi|1|ref\nAC\n", "has a header that cannot be read at line 3"},  // too few delimiters
        {">chr1\nACGT\n>chr2\nAC\n>chr1\nGG\n",
         "names the chromosome \"chr1\" twice, at lines 1 and 5 \\(names are compared up to their first "
         "white space\\)"},
        {">chr1 first\nACGT\n>chr1\tsecond\nAC\n", "names the chromosome \"chr1\" twice, at lines 1 and 3.*"},
        {">a\nAC\n>\nACGT\n", "has a header without a name at line 3"},
        {"> x\nACGT\n", "has a header without a name at line 1"},
        {">only\n", "has no bases for the chromosome \"only\" of line 1"},
        {">a\nAC\n>b\n \n>c\nA\n", "has no bases for the chromosome \"b\" of line 3"},
        {">a\nACGT\nAC1T\n", "has \"1\", which is not a base, at line 3"},
        {">a\n" + std::string(40, 'A') + "\xC3\xA9\n", "has \"\\\\xC3\", which is not a base, at line 2"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(fastaGenome(c.text, "genome.fa"), ExitedWithCode(1),
                    "^ERROR: The reference genome file \"genome\\.fa\" " + c.refusal + "\\.\n$")
            << c.text;
    // Letters of any kind, gaps and stops are read as the reference has them.
    EXPECT_EQ(fastaGenome(">a\nACRY-*.n\n>b\nA\n")->chromosomes.size(), 2u);
}

TEST(FastaReference, GenomesPastThirtyTwoBitPositionsAreRefusedBeforeAllocating) {
    // 2^27 + 1 empty chromosomes take one separator more than 32-bit positions can address.
    const std::uint64_t chromosomes = (std::uint64_t{1} << 27) + 1;
    EXPECT_EXIT(
        {
            MemoryMappedFile file;
            file.fileName = "huge.fa";
            file.size = static_cast<std::int64_t>(2 * chromosomes);
            file.contents = FileContents(allocateZeroedArray<char>(2 * chromosomes + 1).release());
            for (std::uint64_t chromosome = 0; chromosome < chromosomes; ++chromosome) {
                file.contents[2 * chromosome] = '>';
                file.contents[2 * chromosome + 1] = '\n';
            }
            GenomeSequence genome;
            processFastaFormatGenomeFile(genome, file);
        },
        ExitedWithCode(1),
        "^ERROR: The genome file \"huge.fa\" needs 4294967328 genome positions with padding, more than "
        "the 4294967296 that koru can address.\n$");
}

TEST(FastaHeader, NamesAndAccessionsOrNoneWhenTheHeaderCannotBeRead) {
    const std::string ncbi = ">gi|224589800|ref|NC_000001.10| Homo sapiens chromosome 1\nACGT";
    const struct {
        std::string header;
        bool read;
        const char* name = "";
        const char* accession = "";
    } cases[] = {
        {ncbi, true, "gi|224589800|ref|NC_000001.10|", "NC_000001"},
        {">chr1 dna:chromosome chromosome:GRCh37:1:1:249250621:1\n", true, "chr1", "1"},
        {">chr1\n", true, "chr1", ""},
        {">a\r\n", true, "a\r", ""},  // a header without delimiter keeps its carriage return
        // No space: the name is the first field. The vertical bar wins over the colon.
        {">x:1|b|c|d:e|f\n", true, "x:1", "d:e"},
        {">a|b|c||\n", true, "a", ""},  // exactly four delimiters, an empty fourth field
        {"chr1\n", false},
        {"", false},
        {">chr1", false},
        {">a|b|c|d\n", false},
        {">a|b\n|c|d|\n", false},  // the delimiters after the line feed belong to the sequence
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        ChromosomeInformation chromosome;
        const auto lineFeed = populateChromosomeInformationFromFastaHeader(chromosome, c.header);
        EXPECT_EQ(lineFeed, c.read ? std::optional(c.header.find('\n')) : std::nullopt);
        if (!c.read) continue;
        EXPECT_EQ(chromosome.name, c.name);
        EXPECT_EQ(chromosome.accession, c.accession);
    }
}

}  // namespace
}  // namespace koru
