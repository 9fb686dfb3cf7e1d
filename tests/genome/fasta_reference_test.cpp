// FASTA reference reading: where chromosomes lie, array sizes, refusals and header rules. Bases,
// planes, text and counters are held against a model in fasta_model_test.cpp.

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

// Each chromosome is padded to whole words and followed by a word of separator. The arrays are
// sized from the file size before reading: one-base chromosomes take 64 positions for 4 to 6 bytes
// of file, and a line without line feeds is barely larger than its bases.
TEST(FastaReference, ChromosomesArePaddedAndSeparatedInArraysLargeEnoughForThem) {
    std::string fasta = ">a\nACGTN\n>b\n" + std::string(16, 'C') + "\n" + std::string(16, 'G') + "\n";
    for (int chromosome = 0; chromosome < 300; ++chromosome) {
        fasta += '>';  // appended apart: g++ 12 warns falsely about ">" + std::string
        fasta += std::to_string(chromosome) + "\nG\n";
    }
    const auto genome = fastaGenome(fasta);
    ASSERT_EQ(genome->chromosomes.size(), 302u);
    const ChromosomeInformation& a = genome->chromosomes[0];
    EXPECT_EQ(std::tuple(a.name, a.chromosomeNumber, a.endPositionInChromosome), std::tuple("a", 1u, 5u));
    EXPECT_EQ(layoutOf(a), (Layout{5, 64, 0, 1, 0, 63}));
    EXPECT_EQ(layoutOf(genome->chromosomes[1]), (Layout{32, 64, 2, 3, 64, 127}));
    EXPECT_EQ(layoutOf(genome->chromosomes[301]), (Layout{1, 64, 602, 603, 301 * 64, 302 * 64 - 1}));
    EXPECT_EQ(genome->sequenceLength, 301u * 64 + 1);
    EXPECT_GE(genome->allocatedBinaryEncodedArraySize, genome->utilizedBinaryEncodedArraySize);
    EXPECT_EQ(asciiOf(*genome, 301 * 64 - 2, 4), "NNGN");
    // No run of 32 N: the quality of a key in an unmapped region stays unset.
    EXPECT_EQ(genome->mappingQualityOfKeyBelongingToUnmappedRegion, 2147483648u);
    std::string bases;
    for (int base = 0; base < 1000; ++base) bases.push_back("ACGT"[base * 7 % 4]);
    EXPECT_EQ(asciiOf(*fastaGenome(">a\n" + bases), 0, 2000), bases + std::string(56, 'N'));
}

TEST(FastaReference, UnmappedRegionQualityFollowsTheRunsOfUncalledBases) {
    // 40 N after another base: 8 positions end a run of 32. ceiling(-10 log10(8 / 42)) = 8.
    const auto forty = fastaGenome(">a\nA" + std::string(20, 'N') + "\n" + std::string(20, 'N') + "\nA\n");
    EXPECT_EQ(forty->mappingQualityOfKeyBelongingToUnmappedRegion, 8u);
    // A chromosome starts after an imagined N, so 32 leading N already make a run: ceiling(15.05) = 16.
    EXPECT_EQ(fastaGenome(">a\n" + std::string(32, 'N') + "\n")->mappingQualityOfKeyBelongingToUnmappedRegion,
              16u);
}

// The duplicate names, nameless headers, chromosomes without bases and digits once gave SAM that
// samtools refuses, or bases that are not in the file.
TEST(FastaReference, FilesWithoutSequenceDataOrWithBrokenHeadersOrNamesEndTheRun) {
    const std::string noHeader = "does not start with a header line \\(\">name\"\\)";
    const std::string unreadable = "has a header that cannot be read at line ";
    const struct {
        std::string text, refusal;
    } cases[] = {
        {"", "has no sequence data"},
        {"ACGT\nACGT\n", "has no sequence data"},
        {"\n>a\nACGT\n", noHeader},                     // an empty line before the first header
        {"AC\n>a\nACGT\n", noHeader},                   // bases before the first header
        {">a>b\nACGT\n", unreadable + "1"},             // a '>' inside the header
        {">a", unreadable + "1"},                       // no line feed
        {">a\nAC\n>gi|1|ref\nAC\n", unreadable + "3"},  // too few delimiters
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
        EXPECT_EXIT(fastaGenome(c.text), ExitedWithCode(1),
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
            for (std::uint64_t byte = 0; byte < 2 * chromosomes; ++byte)
                file.contents[byte] = ">\n"[byte % 2];
            GenomeSequence genome;
            processFastaFormatGenomeFile(genome, file);
        },
        ExitedWithCode(1),
        "^ERROR: The genome file \"huge.fa\" needs 4294967328 genome positions with padding, more than "
        "the 4294967296 that koru can address.\n$");
}

// Names and accessions as SAM and the index file take them; headers that cannot be read are refused
// with their line above.
TEST(FastaHeader, NamesAndAccessionsOrNoneWhenTheHeaderCannotBeRead) {
    const struct {
        std::string header;
        const char *name, *accession;
    } cases[] = {
        {">gi|224589800|ref|NC_000001.10| Homo sapiens\nACGT", "gi|224589800|ref|NC_000001.10|", "NC_000001"},
        {">chr1 dna:chromosome chromosome:GRCh37:1:1:249250621:1\n", "chr1", "1"},
        {">a\r\n", "a\r", ""},  // a header without delimiter keeps its carriage return
        // No space: the name is the first field. The vertical bar wins over the colon.
        {">x:1|b|c|d:e|f\n", "x:1", "d:e"},
        {">a|b|c||\n", "a", ""},              // exactly four delimiters, an empty fourth field
        {">a|b\n|c|d|\n", nullptr, nullptr},  // the delimiters after the line feed belong to the sequence
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        ChromosomeInformation chromosome;
        const auto lineFeed = populateChromosomeInformationFromFastaHeader(chromosome, c.header);
        EXPECT_EQ(lineFeed, c.name ? std::optional(c.header.find('\n')) : std::nullopt) << c.header;
        if (c.name == nullptr) continue;
        EXPECT_EQ(std::tuple(chromosome.name, chromosome.accession), std::tuple(c.name, c.accession));
    }
}

}  // namespace
}  // namespace koru
