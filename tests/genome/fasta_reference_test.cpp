// FASTA reference reading: layout, planes, counters, run statistics and header rules.

#include <gtest/gtest.h>

#include <string>

#include "genome/fasta_reference.h"
#include "genome/genome_test_helpers.h"

namespace koru {
namespace {

using testing::asciiOf;
using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::genomeParameters;
using testing::memoryFile;
using testing::newGenome;

std::string repeated(char base, std::size_t count) {
    return std::string(count, base);
}

TEST(FastaReference, FiveBasesFillOneWordThenTheSeparator) {
    const ExecutionParameters params = genomeParameters("genome.fa", fastaGenomeFormatType);
    auto genome = newGenome(params);
    processFastaFormatGenomeFile(*genome, memoryFile("genome.fa", ">a\nACGTN\n"));

    ASSERT_EQ(genome->chromosomes.size(), 1u);
    const ChromosomeInformation& chromosome = genome->chromosomes[0];
    EXPECT_EQ(chromosome.name, "a");
    EXPECT_EQ(chromosome.chromosomeNumber, 1u);
    EXPECT_EQ(chromosome.basePairs, 5u);
    EXPECT_EQ(chromosome.endPositionInChromosome, 5u);
    EXPECT_EQ(chromosome.startPositionInChromosome, 1u);
    EXPECT_EQ(chromosome.paddedBasePairs, 64u);
    EXPECT_EQ(chromosome.startBinaryEncodedArrayPosition, 0u);
    EXPECT_EQ(chromosome.endBinaryEncodedArrayPosition, 1u);
    EXPECT_EQ(chromosome.startGenomePosition, 0u);
    EXPECT_EQ(chromosome.endGenomePosition, 63u);

    EXPECT_EQ(asciiOf(*genome, 0, 64), "ACGTN" + repeated('N', 27) + repeated('N', 32));
    EXPECT_EQ(genome->baseWord(0), 0xA0000000u);
    EXPECT_EQ(genome->checkWord(0), 0x60000000u);
    EXPECT_EQ(genome->baseWord(1), 0u);
    EXPECT_EQ(genome->checkWord(1), 0u);

    const SequenceStatistics& statistics = genome->sequenceStatistics;
    EXPECT_EQ(statistics.adenines, 1u);
    EXPECT_EQ(statistics.cytosines, 1u);
    EXPECT_EQ(statistics.guanines, 1u);
    EXPECT_EQ(statistics.thymines, 1u);
    EXPECT_EQ(statistics.uncalledBases, 1u);
    EXPECT_EQ(statistics.totalNumberOfBases, 5u);
    EXPECT_EQ(statistics.positionsWhere32ConsecutiveUncalledBasesDetected, 0u);
    EXPECT_EQ(statistics.positionsWhereSingleNucleotideRepeatedFor32Bases, 0u);
    EXPECT_EQ(genome->mappingQualityOfKeyBelongingToUnmappedRegion, 2147483648u);

    EXPECT_EQ(genome->utilizedBinaryEncodedArraySize, 2u);
    EXPECT_EQ(genome->paddedSequenceLength, 64u);
    EXPECT_EQ(genome->sequenceLength, 5u);
    EXPECT_EQ(genome->genomeInformation->numberOfChromosomes, 1u);
    EXPECT_EQ(params.genomeInformation->numberOfChromosomes, 0u) << "the reader writes only the genome";
}

TEST(FastaReference, LetterCaseAndLineEndsDoNotChangeTheBases) {
    const auto upper = fastaGenome(">a\nACGTNACGT\nTTGCA\n");
    const auto lower = fastaGenome(">a\nacgtnacgt\nttgca\n");
    const auto carriageReturns = fastaGenome(">a\r\nAcGtN ACGT\r\n\tTTGCA\r\n\f\v");
    for (const auto* genome : {lower.get(), carriageReturns.get()}) {
        EXPECT_EQ(asciiOf(*genome, 0, 96), asciiOf(*upper, 0, 96));
        EXPECT_EQ(genome->baseWord(0), upper->baseWord(0));
        EXPECT_EQ(genome->checkWord(0), upper->checkWord(0));
        EXPECT_EQ(genome->chromosomes[0].basePairs, 14u);
        EXPECT_EQ(genome->sequenceStatistics.totalNumberOfBases, 14u);
    }
    EXPECT_EQ(asciiOf(*upper, 0, 14), "ACGTNACGTTTGCA");
    EXPECT_EQ(carriageReturns->chromosomes[0].name, "a\r")
        << "a header without delimiter keeps its carriage return";
}

TEST(FastaReference, WholeWordsAndEmptyChromosomes) {
    // 32 bases: exactly one data word, no padding, then the separator.
    const auto full = fastaGenome(">a\n" + repeated('C', 16) + "\n" + repeated('G', 16) + "\n>b\nA\n");
    const ChromosomeInformation& a = full->chromosomes[0];
    EXPECT_EQ(a.paddedBasePairs, 64u);
    EXPECT_EQ(a.endBinaryEncodedArrayPosition, 1u);
    EXPECT_EQ(full->baseWord(0), 0x0000FFFFu);
    EXPECT_EQ(full->checkWord(0), 0xFFFFFFFFu);
    EXPECT_EQ(asciiOf(*full, 32, 32), repeated('N', 32));
    EXPECT_EQ(full->chromosomes[1].startGenomePosition, 64u);
    EXPECT_EQ(full->chromosomes[1].startBinaryEncodedArrayPosition, 2u);
    EXPECT_EQ(full->baseWord(2), 0x80000000u);

    // A header right after a header: a chromosome that is only its separator.
    const auto empty = fastaGenome(">a\n>b\nACGT\n");
    ASSERT_EQ(empty->chromosomes.size(), 2u);
    const ChromosomeInformation& nothing = empty->chromosomes[0];
    EXPECT_EQ(nothing.basePairs, 0u);
    EXPECT_EQ(nothing.paddedBasePairs, 32u);
    EXPECT_EQ(nothing.startBinaryEncodedArrayPosition, 0u);
    EXPECT_EQ(nothing.endBinaryEncodedArrayPosition, 0u);
    EXPECT_EQ(nothing.endGenomePosition, 31u);
    EXPECT_EQ(empty->chromosomes[1].startGenomePosition, 32u);
    EXPECT_EQ(empty->chromosomes[1].endGenomePosition, 95u);
    EXPECT_EQ(empty->sequenceLength, 32u + 4u);
    EXPECT_EQ(empty->paddedSequenceLength, 96u);
}

TEST(FastaReference, OtherLettersAreCopiedButNotCountedAndEncodeLikeN) {
    const auto genome = fastaGenome(">a\nARrN-*\n");
    EXPECT_EQ(asciiOf(*genome, 0, 6), "ARRN-*");
    EXPECT_EQ(genome->chromosomes[0].basePairs, 6u);
    EXPECT_EQ(genome->sequenceStatistics.totalNumberOfBases, 2u);
    EXPECT_EQ(genome->sequenceStatistics.adenines, 1u);
    EXPECT_EQ(genome->sequenceStatistics.uncalledBases, 1u);
    EXPECT_EQ(genome->baseWord(0), 0x80000000u);
    EXPECT_EQ(genome->checkWord(0), 0u);
}

TEST(FastaReference, RunsOfUncalledBases) {
    // 40 N after another base: the counter reaches 32 at the 33rd N.
    const auto forty = fastaGenome(">a\nA" + repeated('N', 20) + "\n" + repeated('N', 20) + "\nA\n");
    const SequenceStatistics& s = forty->sequenceStatistics;
    EXPECT_EQ(s.positionsWhere32ConsecutiveUncalledBasesDetected, 8u);
    EXPECT_EQ(s.positionsWith32OrMoreConsecutiveUncalledBases, 1u);
    EXPECT_EQ(s.uncalledPositionsThatWereExtensionsOfPreviousRepeat, 7u);
    EXPECT_EQ(s.positionsWith64OrMoreConsecutiveUncalledBases, 0u);
    EXPECT_EQ(s.positionsWhereSingleNucleotideRepeatedFor32Bases, 0u);
    // U = 8 of T = 42: ceiling(-10 log10(8 / 42)) = ceiling(7.2) = 8.
    EXPECT_EQ(forty->mappingQualityOfKeyBelongingToUnmappedRegion, 8u);

    // A chromosome starts after an imagined N, so 32 leading N already make a run.
    const auto leading = fastaGenome(">a\n" + repeated('N', 32) + "\n");
    EXPECT_EQ(leading->sequenceStatistics.positionsWhere32ConsecutiveUncalledBasesDetected, 1u);
    EXPECT_EQ(leading->sequenceStatistics.positionsWith32OrMoreConsecutiveUncalledBases, 1u);
    // U = 1 of T = 32: ceiling(10 log10(32)) = ceiling(15.05) = 16.
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
    EXPECT_EQ(asciiOf(*oneLine, 1000, 56), repeated('N', 56));

    // Many one-base chromosomes: 64 positions each from 4 bytes of file.
    std::string many;
    for (int chromosome = 0; chromosome < 300; ++chromosome) many += ">\nG\n";
    const auto genome = fastaGenome(many);
    ASSERT_EQ(genome->chromosomes.size(), 300u);
    EXPECT_EQ(genome->utilizedBinaryEncodedArraySize, 600u);
    EXPECT_GE(genome->allocatedBinaryEncodedArraySize, 600u);
    EXPECT_EQ(genome->baseWord(598), 0x80000000u);
    EXPECT_EQ(genome->checkWord(598), 0x80000000u);
    EXPECT_EQ(genome->chromosomes[299].endGenomePosition, 300u * 64 - 1);
    EXPECT_EQ(genome->sequenceLength, 299u * 64 + 1);

    // A typical file: the size-derived lengths stand.
    std::string typical = ">chr\n";
    for (int line = 0; line < 1000; ++line) typical += repeated('A', 30) + repeated('C', 30) + "\n";
    const auto sized = fastaGenome(typical);
    EXPECT_EQ(sized->asciiEncodedArrayLength, typical.size() - typical.size() / 80);
    EXPECT_EQ(sized->allocatedBinaryEncodedArraySize, typical.size() / 32);
}

TEST(FastaReference, FilesWithoutSequenceDataOrWithBrokenHeadersEndTheRun) {
    const auto read = [](const char* text) { fastaGenome(text, "genome.fa"); };
    const char* noData =
        "^ERROR: The genome file \"genome.fa\" provided to the \"processFastaFormatGenomeFile\" function "
        "has no sequence data.$";
    EXPECT_EXIT(read(""), ExitedWithCode(1), noData);
    EXPECT_EXIT(read("ACGT\nACGT\n"), ExitedWithCode(1), noData);
    const char* headerError =
        "^ERROR: Could not process a header in the fasta genome file \"genome.fa\" provided to the "
        "\"processFastaFormatGenomeFile\".$";
    EXPECT_EXIT(read("\n>a\nACGT\n"), ExitedWithCode(1), headerError) << "empty line before the first header";
    EXPECT_EXIT(read("AC\n>a\nACGT\n"), ExitedWithCode(1), headerError) << "bases before the first header";
    EXPECT_EXIT(read(">a>b\nACGT\n"), ExitedWithCode(1), headerError) << "a '>' inside the header";
    EXPECT_EXIT(read(">a"), ExitedWithCode(1), headerError) << "a header without line feed";
    EXPECT_EXIT(read(">a\nAC\n>gi|1|ref\nAC\n"), ExitedWithCode(1), headerError) << "too few delimiters";
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
            const ExecutionParameters params = genomeParameters("huge.fa", fastaGenomeFormatType);
            GenomeSequence genome;
            processFastaFormatGenomeFile(genome, file);
        },
        ExitedWithCode(1),
        "^ERROR: The genome file \"huge.fa\" needs 4294967328 genome positions with padding, more than "
        "the 4294967296 that koru can address.\n$");
}

TEST(FastaHeader, NamesAndAccessions) {
    ChromosomeInformation chromosome;
    const std::string ncbi = ">gi|224589800|ref|NC_000001.10| Homo sapiens chromosome 1\nACGT";
    EXPECT_EQ(populateChromosomeInformationFromFastaHeader(chromosome, ncbi), ncbi.find('\n'));
    EXPECT_EQ(chromosome.name, "gi|224589800|ref|NC_000001.10|");
    EXPECT_EQ(chromosome.accession, "NC_000001");

    const std::string ensembl = ">chr1 dna:chromosome chromosome:GRCh37:1:1:249250621:1\n";
    EXPECT_TRUE(populateChromosomeInformationFromFastaHeader(chromosome, ensembl));
    EXPECT_EQ(chromosome.name, "chr1");
    EXPECT_EQ(chromosome.accession, "1");

    EXPECT_TRUE(populateChromosomeInformationFromFastaHeader(chromosome, ">chr1\n"));
    EXPECT_EQ(chromosome.name, "chr1");
    EXPECT_EQ(chromosome.accession, "");

    // No space: the name is the first field. The vertical bar wins over the colon.
    EXPECT_TRUE(populateChromosomeInformationFromFastaHeader(chromosome, ">x:1|b|c|d:e|f\n"));
    EXPECT_EQ(chromosome.name, "x:1");
    EXPECT_EQ(chromosome.accession, "d:e");
    // Exactly four delimiters, and an empty fourth field.
    EXPECT_TRUE(populateChromosomeInformationFromFastaHeader(chromosome, ">a|b|c||\n"));
    EXPECT_EQ(chromosome.accession, "");
}

TEST(FastaHeader, FailuresReturnNone) {
    ChromosomeInformation chromosome;
    EXPECT_FALSE(populateChromosomeInformationFromFastaHeader(chromosome, "chr1\n"));
    EXPECT_FALSE(populateChromosomeInformationFromFastaHeader(chromosome, ""));
    EXPECT_FALSE(populateChromosomeInformationFromFastaHeader(chromosome, ">chr1"));
    EXPECT_FALSE(populateChromosomeInformationFromFastaHeader(chromosome, ">a|b|c|d\n"));
    // The delimiters after the line feed belong to the sequence, not the header.
    EXPECT_FALSE(populateChromosomeInformationFromFastaHeader(chromosome, ">a|b\n|c|d|\n"));
}

TEST(FastaHeader, CountingSequencesAndPadding) {
    EXPECT_EQ(getNumberOfSequencesInFastaFormattedFile(""), 0u);
    EXPECT_EQ(getNumberOfSequencesInFastaFormattedFile(">a\nAC\n>b\n>c>d\n"), 4u);
    char text[6] = "xxxxx";
    padNs(text + 1, 3);
    EXPECT_STREQ(text, "xNNNx");
}

}  // namespace
}  // namespace koru
