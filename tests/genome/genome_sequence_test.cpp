// The genome record: creation from a file, chromosome lookups, filter resolution and dumps.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "genome/genome_sequence.h"
#include "genome/genome_test_helpers.h"
#include "support/locked_file.h"
#include "support/text_format.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::genomeParameters;
using ::testing::HasSubstr;
using testing::readFile;
using testing::TemporaryDirectory;

// Chromosome 1: 100 bases in positions 0-159 (words 0-4); chromosome 2: 40 bases in 160-255 (words 5-7).
std::unique_ptr<GenomeSequence> twoChromosomeGenome() {
    return fastaGenome(">one\n" + std::string(60, 'A') + "\n" + std::string(40, 'C') + "\n>two\n" +
                       std::string(40, 'G') + "\n");
}

// Runs createGenomeSequence with the timer lines going to a file of the directory.
std::unique_ptr<GenomeSequence> createFromFile(const TemporaryDirectory& directory, const std::string& path,
                                               std::uint32_t formatType, std::uint32_t chromosomes = 0) {
    ExecutionParameters params = genomeParameters(path, formatType, chromosomes);
    params.standardOutputFile = createLockedFile(directory.file("stdout"), false, false);
    auto genome = createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
    params.standardOutputFile->close();
    return genome;
}

TEST(GenomeSequence, CreationReportsBothStagesAndCopiesTheGenomeInformation) {
    TemporaryDirectory directory;
    const std::string path = directory.write("genome.fa", ">a\nACGT\n>b\nTTTT\n");
    ExecutionParameters params = genomeParameters(path, fastaGenomeFormatType);
    params.genomeInformation->species = "test";
    params.standardOutputFile = createLockedFile(directory.file("stdout"), false, false);
    const auto genome = createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
    params.standardOutputFile->close();

    const std::string report = readFile(directory.file("stdout"));
    EXPECT_THAT(report, HasSubstr("Elapsed time for \"Reading in Reference Genome\": Wall time = "));
    EXPECT_THAT(report, HasSubstr("Elapsed time for \"Converting Reference Genome to binary encoding and "
                                  "generating metadata\": Wall time = "));
    EXPECT_LT(report.find("Reading in"), report.find("Converting"));
    EXPECT_EQ(genome->genomeInformation->species, "test");
    EXPECT_EQ(genome->genomeInformation->numberOfChromosomes, 2u);
    EXPECT_EQ(params.genomeInformation->numberOfChromosomes, 0u) << "the reader writes only the genome";
}

TEST(GenomeSequence, GzipCompressedFastaGivesTheSameGenome) {
    TemporaryDirectory directory;
    std::string text = ">chr1 test\n";
    for (int line = 0; line < 500; ++line) text += "ACGTTGCANNACGGTACCAT\n";
    text += ">chr2\nacgtRYN\n";
    const auto plain = createFromFile(directory, directory.write("plain.fa", text), fastaGenomeFormatType);
    // The name says nothing: the content is recognised.
    const auto compressed = createFromFile(
        directory, directory.write("compressed.fa", testing::gzipCompress(text)), fastaGenomeFormatType);
    ASSERT_EQ(compressed->chromosomes.size(), plain->chromosomes.size());
    EXPECT_EQ(compressed->chromosomes[1].name, "chr2");
    EXPECT_EQ(compressed->paddedSequenceLength, plain->paddedSequenceLength);
    EXPECT_EQ(compressed->asciiEncodedArrayLength, text.size() - text.size() / 80)
        << "sized by the decompressed text";
    EXPECT_EQ(testing::asciiOf(*compressed, 0, compressed->paddedSequenceLength),
              testing::asciiOf(*plain, 0, plain->paddedSequenceLength));
    for (std::uint64_t word = 0; word < plain->utilizedBinaryEncodedArraySize; ++word) {
        ASSERT_EQ(compressed->baseWord(word), plain->baseWord(word)) << word;
        ASSERT_EQ(compressed->checkWord(word), plain->checkWord(word)) << word;
    }
    EXPECT_EQ(compressed->sequenceStatistics.uncalledBases, plain->sequenceStatistics.uncalledBases);
}

TEST(GenomeSequence, MissingGenomeInformationAndUnknownFormatsEndTheRun) {
    EXPECT_EXIT(
        {
            ExecutionParameters params;
            createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
        },
        ExitedWithCode(1),
        "^ERROR: An empty genome object was provided to the \"createGenomeSequence\" function.$");
    EXPECT_EXIT(
        {
            ExecutionParameters params = genomeParameters("/dev/null", 3);
            params.standardOutputFile = createLockedFile("/dev/null", false, false);
            createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
        },
        ExitedWithCode(1), "^ERROR: An unrecognized genome format file type was provided.$");
}

TEST(GenomeLookup, TwoChromosomeLayout) {
    const auto genome = twoChromosomeGenome();
    const ChromosomeInformation& one = genome->chromosomes[0];
    const ChromosomeInformation& two = genome->chromosomes[1];
    EXPECT_EQ(one.startGenomePosition, 0u);
    EXPECT_EQ(one.endGenomePosition, 159u);
    EXPECT_EQ(one.endBinaryEncodedArrayPosition, 4u);
    EXPECT_EQ(two.startGenomePosition, 160u);
    EXPECT_EQ(two.endGenomePosition, 255u);
    EXPECT_EQ(two.startBinaryEncodedArrayPosition, 5u);
    EXPECT_EQ(two.endBinaryEncodedArrayPosition, 7u);

    EXPECT_EQ(getChromosomeInformationForGenomePosition(160, *genome), &two);
    EXPECT_EQ(getChromosomeInformationForGenomePosition(130, *genome), &one) << "a separator position";
    EXPECT_EQ(getChromosomeInformationForGenomePosition(0, *genome), &one);
    EXPECT_EQ(getChromosomeInformationForGenomePosition(159, *genome), &one);
    EXPECT_EQ(getChromosomeInformationForGenomePosition(255, *genome), &two);
    EXPECT_EQ(getChromosomeInformationForGenomePosition(256, *genome), nullptr);

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
        fasta += ">c\n" + bases + "\n";
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
        text += ">c\n" + std::string(static_cast<std::size_t>(chromosome * 37 % 101), 'T') + "\n";
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

TEST(GenomeLookup, ChromosomeAndGenomePositionTranslation) {
    const auto genome = twoChromosomeGenome();
    EXPECT_EQ(getGenomePositionFromChromosomePosition(0, 55, *genome), 0u);
    EXPECT_EQ(getGenomePositionFromChromosomePosition(2, 10, *genome), 170u);
    EXPECT_EQ(getGenomePositionFromChromosomePosition(2, 95, *genome), 255u);
    EXPECT_EQ(getGenomePositionFromChromosomePosition(2, 96, *genome), std::nullopt) << "past the chromosome";
    EXPECT_EQ(getGenomePositionFromChromosomePosition(3, 0, *genome), std::nullopt) << "not in the table";

    std::uint32_t chromosome = 0, position = 0;
    EXPECT_TRUE(lookupChromosomePositionFromGenomePosition(170, chromosome, position, genome.get()));
    EXPECT_EQ(chromosome, 2u);
    EXPECT_EQ(position, 10u);
    // Outputs that are not both 0 on entry, or no genome, leave everything alone.
    chromosome = 7, position = 0;
    EXPECT_FALSE(lookupChromosomePositionFromGenomePosition(170, chromosome, position, genome.get()));
    EXPECT_EQ(chromosome, 7u);
    EXPECT_EQ(position, 0u);
    chromosome = 0, position = 3;
    EXPECT_FALSE(lookupChromosomePositionFromGenomePosition(170, chromosome, position, genome.get()));
    EXPECT_EQ(position, 3u);
    chromosome = 0, position = 0;
    EXPECT_FALSE(lookupChromosomePositionFromGenomePosition(170, chromosome, position, nullptr));
    EXPECT_FALSE(lookupChromosomePositionFromGenomePosition(256, chromosome, position, genome.get()));
    EXPECT_EQ(chromosome, 0u);
    EXPECT_EQ(position, 0u);
}

TEST(CandidatePositionFilters, ResolveToGenomeRanges) {
    const auto genome = twoChromosomeGenome();
    std::vector<CandidatePositionFilter> filters(4);
    filters[0].chromosome = 2, filters[0].startPositionInChromosome = 10,
    filters[0].endPositionInChromosome = 20;
    filters[1].chromosome = 0, filters[1].startPositionInChromosome = 5,
    filters[1].endPositionInChromosome = 9;
    filters[1].startPositionInGenome = filters[1].endPositionInGenome = 99;
    // Past the end a range stops at the chromosome's last position instead of reaching the next one
    // or wrapping around the genome.
    filters[2].chromosome = 1, filters[2].startPositionInChromosome = 100,
    filters[2].endPositionInChromosome = 1000;
    filters[3].chromosome = 2, filters[3].startPositionInChromosome = 0,
    filters[3].endPositionInChromosome = 0xFFFFFFFF;
    lookupGenomePositionsForCandidatePositionFilters(*genome, filters, "filters.txt");
    EXPECT_EQ(filters[0].startPositionInGenome, 170u);
    EXPECT_EQ(filters[0].endPositionInGenome, 180u);
    EXPECT_EQ(filters[1].startPositionInGenome, 0u);
    EXPECT_EQ(filters[1].endPositionInGenome, 0u);
    EXPECT_EQ(filters[2].startPositionInGenome, 100u);
    EXPECT_EQ(filters[2].endPositionInGenome, 159u);
    EXPECT_EQ(filters[3].startPositionInGenome, 160u);
    EXPECT_EQ(filters[3].endPositionInGenome, 255u);
}

TEST(CandidatePositionFilters, AChromosomeNotInTheGenomeEndsTheRunNamingTheLine) {
    EXPECT_EXIT(
        {
            const auto genome = twoChromosomeGenome();
            std::vector<CandidatePositionFilter> filters(2);
            filters[0].chromosome = 1;
            filters[0].lineNumber = 1;
            filters[1].chromosome = 3;
            filters[1].lineNumber = 4;
            lookupGenomePositionsForCandidatePositionFilters(*genome, filters, "/data/filters.txt");
        },
        ExitedWithCode(1),
        "^ERROR: The candidate position filter on line 4 of \"/data/filters.txt\" names chromosome 3, "
        "which is not in the reference genome.\n$");
}

std::string printed(const std::function<void(std::FILE*)>& print) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    print(stream);
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(GenomeDump, HeaderGivesTotalsStatisticsAndOneLinePerChromosome) {
    const auto genome = fastaGenome(">gi|1|ref|NC_9.1| x\nACGTN\n>b\n" + std::string(40, 'N') + "\n");
    const std::string header = printed([&](std::FILE* file) { printGenomeSequenceHeader(file, *genome); });
    EXPECT_EQ(header.rfind("\n\nGenome Sequence Information:\n\tGenome Information:\n", 0), 0u);
    EXPECT_THAT(header, HasSubstr("\t\tNumber of chromosomes = : 2\n"));
    EXPECT_THAT(header, HasSubstr("\tSequence Length = 104\n\tPadded Sequence Length = 160\n"));
    EXPECT_THAT(header, HasSubstr("\tUtilized Binary Encoded Array = 5\n"
                                  "\tMapping Quality Of Key Belonging To Unmapped Region = 7\n\tSequence "
                                  "Statistics:\n\t\tTotal Number Of Bases = 45\n\t\t\tNumber of Adenines "
                                  "= 1\n"));
    // The 40 N start chromosome b, so the first of them already counts as a repeat.
    EXPECT_THAT(header,
                HasSubstr("\t\tNumber of positions where 32 consecutive uncalled bases were detected = 9\n"
                          "\t\t\tNumber of positions were extensions of a previous repeat = 8\n"
                          "\t\tNumber of positions with 32 or more consecutive uncalled bases = 1\n"));
    const std::string second = stringPrintf(
        "\t\tChromosome Number %6d: Base Pairs = %11d, Padded Base Pairs = %11d,  # of 32bit Words = %11d, "
        "Start Binary Encoded Array Position = %11d, End Binary Encoded Array Position %11d, Start Genome "
        "Position = %11d, End Genome Position %11d, End - Start Genome Position = %11d, name = \"%s\", "
        "accession = \"%s\", version = %d, start position in chromosome = %11d, End position in chromosome "
        "= %11d\n",
        2, 40, 96, 2, 2, 4, 64, 159, 95, "b", "", 0, 1, 40);
    EXPECT_EQ(header.size() - header.rfind("\t\tChromosome Number"), second.size());
    EXPECT_THAT(header, HasSubstr(second));
    EXPECT_THAT(header, HasSubstr("name = \"gi|1|ref|NC_9.1|\", accession = \"NC_9\""));
}

TEST(GenomeDump, SequenceDumpsPrintWholeBlocksWithinTheUsedWords) {
    const auto genome = twoChromosomeGenome();
    const std::string text =
        printed([&](std::FILE* file) { printGenomeSequenceForChromosome(file, *genome, 2, 10, 20); });
    const std::string expectedStart =
        "\tRequested Chromosome to print sequence for = 2\n"
        "\tRequested position in chromosome to start printing sequence = 10\n"
        "\tRequested position in chromosome to stop printing sequence  = 20\n"
        "\tGenome Sequence:\n"
        "\t\tRequested position in entire genome to start printing sequence = 170\n"
        "\t\t\tActual start position in entire genome for printing sequence = 128\n"
        "\t\tRequested position in entire genome to stop printing sequence  = 180\n"
        "\t\t\tActual stop position in entire genome for printing sequence  = 191\n"
        "\t\tSequence:\n"
        "\t\t\tFrom 128 to 191\n";
    EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
    // Words 4 and 5: the separator of chromosome 1 (decoded as T) and 32 G.
    EXPECT_THAT(text, HasSubstr("Sequence         = " + std::string(32, 'T') + std::string(32, 'G') + "\n"));

    // Words 0 to 2 are in use (an empty chromosome, then one base): the second block has one word.
    const auto odd = fastaGenome(">a\n>b\nA\n");
    ASSERT_EQ(odd->utilizedBinaryEncodedArraySize, 3u);
    const std::string end = printed([&](std::FILE* file) { printGenomeSequence(file, *odd, 70, 5000, ""); });
    EXPECT_THAT(end, HasSubstr("\t\tFrom 64 to 127\n"));
    EXPECT_THAT(end, HasSubstr("\t\tSequence         = " + std::string(32, 'T') + "\n"));
    EXPECT_EQ(end.find("From 0 "), std::string::npos);
    EXPECT_EQ(end.find("From 128"), std::string::npos);

    const std::string missing =
        printed([&](std::FILE* file) { printGenomeSequenceForChromosome(file, *genome, 9, 0, 10); });
    EXPECT_EQ(missing.find("Genome Sequence:"), std::string::npos);
    const std::string withHeader =
        printed([&](std::FILE* file) { printGenomeSequenceWithHeader(file, *genome, 0, 0); });
    EXPECT_LT(withHeader.find("Genome Sequence Information:"), withHeader.find("\tGenome Sequence:\n"));
}

}  // namespace
}  // namespace koru
