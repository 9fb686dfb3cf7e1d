// The reference genome: FASTA and binary files, the record's lookups and text, and its serialisation.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "genome/binary_genome.h"
#include "genome/fasta_reference.h"
#include "genome/genome_sequence.h"
#include "genome/genome_serialization.h"
#include "genome/genome_test_helpers.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::asciiOf;
using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::Layout;
using testing::layoutOf;
using testing::TemporaryDirectory;

struct ModelGenome {
    std::string ascii;
    std::vector<std::uint32_t> base, check;
    std::vector<std::uint64_t> basePairs;
    SequenceStatistics statistics;
};

// Counts a base `run` bases after the first of the letters equal to it.
void modelRun(SequenceStatistics& s, char c, std::uint64_t run) {
    if (run < 32) return;
    if (c != 'N') {
        ++s.positionsWhereSingleNucleotideRepeatedFor32Bases;
        s.positionsThatWereExtensionsOfPreviousRepeat += run > 32;
        return;
    }
    ++s.positionsWhere32ConsecutiveUncalledBasesDetected;
    s.positionsWith32OrMoreConsecutiveUncalledBases += run == 32;
    s.uncalledPositionsThatWereExtensionsOfPreviousRepeat += run > 32;
    s.positionsWith64OrMoreConsecutiveUncalledBases += run == 64;
    s.positionsWith96OrMoreConsecutiveUncalledBases += run == 96;
    s.positionsWith128OrMoreConsecutiveUncalledBases += run == 128;
}

void modelChromosome(ModelGenome& model, const std::string& text) {
    char previous = 'N';  // a chromosome starts after an imagined N
    std::uint64_t run = 0, bases = 0;
    for (const char raw : text) {
        if (std::isspace(static_cast<unsigned char>(raw))) continue;
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
        model.ascii.push_back(c);
        if (bases % 32 == 0) model.base.push_back(0), model.check.push_back(0);
        const std::uint32_t bit = 1u << (31 - bases % 32);
        if (c == 'A' || c == 'G') model.base.back() |= bit;
        if (c == 'C' || c == 'G') model.check.back() |= bit;
        model.statistics.adenines += c == 'A';
        model.statistics.cytosines += c == 'C';
        model.statistics.guanines += c == 'G';
        model.statistics.thymines += c == 'T';
        model.statistics.uncalledBases += c == 'N';
        run = c == previous ? run + 1 : 0;
        previous = c;
        modelRun(model.statistics, c, run);
        ++bases;
    }
    model.basePairs.push_back(bases);
    // Padding to a whole word, then a word of separator.
    model.ascii.append((32 - model.ascii.size() % 32) % 32 + 32, 'N');
    model.base.push_back(0), model.check.push_back(0);
}

// Single characters, runs around the 32, 64, 96 and 128 thresholds with the odd white space, white space.
std::string randomSequence(std::mt19937& random, std::size_t length) {
    const std::string letters = "ACGTNacgtnRYKMX-*.", space = " \t\n\r\v\f";
    std::string text;
    while (text.size() < length) {
        const std::uint32_t kind = random() % 10;
        if (kind < 5) {
            text.push_back(letters[random() % letters.size()]);
        } else if (kind < 8) {
            const char letter = "ACGTNn"[random() % 6];
            for (std::size_t i = 20 + random() % 130; i > 0; --i) {
                text.push_back(letter);
                if (random() % 40 == 0) text.push_back(space[random() % 6]);
            }
        } else {
            text.push_back(space[random() % 6]);
            if (random() % 4 == 0) text.push_back('\n');
        }
    }
    return text;
}

// Random texts with runs across words, lines and the reader's slices: any window is the model's.
TEST(FastaModel, RandomGenomesMatchTheCharacterByCharacterRules) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        ModelGenome model;
        std::string file;
        for (int chromosome = 0, chromosomes = 1 + random() % 5; chromosome < chromosomes; ++chromosome) {
            // Lengths from empty to past the reader's 16 KiB slices; a chromosome without bases is refused.
            std::string text = randomSequence(random, random() % 3 == 0 ? random() % 70 : random() % 40000);
            if (text.find_first_not_of(" \t\n\r\v\f") == std::string::npos) text += 'G';
            file += ">c" + std::to_string(chromosome) + "\n" + text + "\n";
            modelChromosome(model, text);
        }
        const auto genome = fastaGenome(file);
        std::vector<std::uint64_t> basePairs;
        for (const ChromosomeInformation& chromosome : genome->chromosomes)
            basePairs.push_back(chromosome.basePairs);
        ASSERT_EQ(basePairs, model.basePairs);
        ASSERT_EQ(genome->paddedSequenceLength, model.ascii.size());
        ASSERT_EQ(genome->utilizedBinaryEncodedArraySize, model.base.size());
        ASSERT_EQ(asciiOf(*genome, 0, model.ascii.size()), model.ascii);
        for (std::size_t start = 0; start < model.ascii.size(); start += 1 + random() % 200)
            for (const std::size_t length : {1u, 31u, 33u, 150u})
                ASSERT_EQ(asciiOf(*genome, start, length), model.ascii.substr(start, length)) << start;
        for (std::size_t word = 0; word < model.base.size(); ++word)
            ASSERT_EQ(std::pair(genome->baseWord(word), genome->checkWord(word)),
                      std::pair(model.base[word], model.check[word]))
                << "word " << word;
        // The counters are 64-bit fields in a row; the total is the model's sum.
        SequenceStatistics& s = model.statistics;
        s.totalNumberOfBases = s.adenines + s.cytosines + s.guanines + s.thymines + s.uncalledBases;
        const auto* actual = reinterpret_cast<const std::uint64_t*>(&genome->sequenceStatistics);
        const auto* expected = reinterpret_cast<const std::uint64_t*>(&s);
        for (std::size_t counter = 0; counter < sizeof(SequenceStatistics) / 8; ++counter)
            EXPECT_EQ(actual[counter], expected[counter]) << "counter " << counter;
    }
}

// Arrays are sized from the file size: one-base chromosomes and lines without line feeds must fit.
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
    EXPECT_EQ(layoutOf(genome->chromosomes[301]), (Layout{1, 64, 602, 603, 301 * 64, 302 * 64 - 1}));
    EXPECT_EQ(genome->sequenceLength, 301u * 64 + 1);
    EXPECT_GE(genome->allocatedBinaryEncodedArraySize, genome->utilizedBinaryEncodedArraySize);
    EXPECT_EQ(genome->mappingQualityOfKeyBelongingToUnmappedRegion, 2147483648u)
        << "unset without a run of 32 N";
    std::string bases;
    for (int base = 0; base < 1000; ++base) bases.push_back("ACGT"[base * 7 % 4]);
    EXPECT_EQ(asciiOf(*fastaGenome(">a\n" + bases), 0, 2000), bases + std::string(56, 'N'));
}

// 40 N: 8 of 42 positions end a run of 32, so 8; 32 leading N follow an imagined N: 1 of 32, so 16.
TEST(FastaReference, UnmappedRegionQualityFollowsTheRunsOfUncalledBases) {
    EXPECT_EQ(
        fastaGenome(">a\nA" + std::string(40, 'N') + "\nA\n")->mappingQualityOfKeyBelongingToUnmappedRegion,
        8u);
    EXPECT_EQ(fastaGenome(">a\n" + std::string(32, 'N') + "\n")->mappingQualityOfKeyBelongingToUnmappedRegion,
              16u);
}

// Duplicate names, nameless headers, empty chromosomes and digits once gave SAM that samtools refuses.
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
}

// 2^27 + 1 empty chromosomes take one separator more than 32-bit positions can address.
TEST(FastaReference, GenomesPastThirtyTwoBitPositionsAreRefusedBeforeAllocating) {
    EXPECT_EXIT(
        {
            const std::uint64_t bytes = 2 * ((std::uint64_t{1} << 27) + 1);
            MemoryMappedFile file;
            file.fileName = "huge.fa";
            file.size = static_cast<std::int64_t>(bytes);
            file.contents = FileContents(allocateZeroedArray<char>(bytes + 1).release());
            for (std::uint64_t byte = 0; byte < bytes; ++byte) file.contents[byte] = ">\n"[byte % 2];
            GenomeSequence genome;
            processFastaFormatGenomeFile(genome, file);
        },
        ExitedWithCode(1),
        "^ERROR: The genome file \"huge.fa\" needs 4294967328 genome positions with padding, more than "
        "the 4294967296 that koru can address.\n$");
}

// Names and accessions as SAM and the index file take them; unreadable headers are refused above.
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

// Three words: 32 A, 32 C, and a mixed word.
const std::vector<std::uint32_t> kThreeWords = {0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xF0F0F0F0, 0xFF00FF00};

// A chromosome's number, word count and pairs; format 1 adds as many skipped values, which would show.
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
    const ChromosomeInformation& chromosome = genome.chromosomes.at(0);
    EXPECT_EQ(std::tuple(chromosome.name, chromosome.chromosomeNumber, chromosome.accession,
                         chromosome.endPositionInChromosome),
              std::tuple("1", 1u, "", 96u));
    EXPECT_EQ(layoutOf(chromosome), (Layout{96, 128, 0, 3, 0, 127}));
    // The text shows both planes; then the zero word that keeps chromosomes on even words.
    EXPECT_EQ(asciiOf(genome, 0, 128), std::string(32, 'A') + std::string(32, 'C') +
                                           "GGGGCCCCAAAATTTTGGGGCCCCAAAATTTT" + std::string(32, 'T'));
}

// Format 0 from a file, padded to an even word count; values past the counted chromosomes are not read.
TEST(BinaryGenome, FormatZeroIsPaddedToAnEvenWordAndReadsOnlyTheCountedChromosomes) {
    TemporaryDirectory directory;
    const auto information = testing::genomeInformation(
        directory.write("genome26.hs", testing::littleEndianValues(chromosomeValues(1, kThreeWords, false))),
        binaryGenomeFormatType0, 1);
    const auto genome = createGenomeSequence(information.get(), nullptr);
    expectThreeWordChromosome(*genome);
    EXPECT_EQ(std::tuple(genome->utilizedBinaryEncodedArraySize, genome->allocatedBinaryEncodedArraySize,
                         genome->sequenceLength, genome->paddedSequenceLength),
              std::tuple(4u, 4u, 96u, 128u));
    const auto empty = binaryGenome({}, binaryGenomeFormatType0, 0);
    EXPECT_EQ(std::tuple(empty->chromosomes.size(), empty->utilizedBinaryEncodedArraySize,
                         empty->sequenceLength, empty->paddedSequenceLength, asciiOf(*empty, 0, 1024)),
              std::tuple(0u, 0u, 0u, 0u, ""));
    const auto trailing = binaryGenome({3, 2, 1, 2, 3, 4, 9, 9, 9}, binaryGenomeFormatType0, 1);
    EXPECT_EQ(std::tuple(trailing->chromosomes.size(), trailing->utilizedBinaryEncodedArraySize,
                         trailing->checkWord(1)),
              std::tuple(1u, 2u, 4u));
    EXPECT_EXIT(createGenomeSequence(nullptr, nullptr), ExitedWithCode(1),
                "^ERROR: No reference genome was given.\n$");
    EXPECT_EXIT(createGenomeSequence(testing::genomeInformation("/dev/null", 3).get(), nullptr),
                ExitedWithCode(1), "^ERROR: An unrecognized genome format file type was provided.$");
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
    const ChromosomeInformation& seven = genome->chromosomes.at(1);
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

// A filter past a chromosome's end stops at its last position (159, 255); chromosome 0 is none.
TEST(GenomeLookup, ChromosomesTextAndFilterRangesAtTheEdges) {
    const auto genome = fastaGenome(">one\n" + std::string(60, 'A') + "\n" + std::string(40, 'C') +
                                    "\n>two\n" + std::string(40, 'G') + "\n");
    const ChromosomeInformation *one = &genome->chromosomes[0], *two = &genome->chromosomes[1];
    const auto number = [&](auto n) { return getChromosomeSequenceInformationForChromosome(n, *genome); };
    const auto at = [&](std::uint64_t p) { return getChromosomeInformationForGenomePosition(p, *genome); };
    using Found = std::vector<const ChromosomeInformation*>;
    EXPECT_EQ(Found({number(0), number(2), number(3)}), Found({nullptr, two, nullptr}));
    EXPECT_EQ(Found({at(0), at(159), at(160), at(255), at(256)}), Found({one, one, two, two, nullptr}));
    EXPECT_EQ(getChromosomeInformationForGenomePosition(0, GenomeSequence{}), nullptr);
    EXPECT_EQ(asciiOf(*genome, 256, 4), "") << "the text ends with the padded sequence";

    std::vector<CandidatePositionFilter> filters;
    const std::uint32_t requested[][3] = {{2, 10, 20}, {0, 5, 9}, {1, 100, 1000}, {2, 0, 0xFFFFFFFF}};
    for (const auto& r : requested) filters.push_back({99, 99, r[0], r[1], r[2]});
    lookupGenomePositionsForCandidatePositionFilters(*genome, filters, "filters.txt");
    std::vector<std::uint32_t> ranges;
    for (const CandidatePositionFilter& f : filters)
        ranges.insert(ranges.end(), {f.startPositionInGenome, f.endPositionInGenome});
    EXPECT_EQ(ranges, std::vector<std::uint32_t>({170, 180, 0, 0, 100, 159, 160, 255}));
}

std::unique_ptr<GenomeSequence> sampleGenome() {
    auto genome = fastaGenome(">one\nACGTACGTTT" + std::string(40, 'N') + "\n>two\nGGGCCC\n", "sample.fa");
    genome->mappingQualityOfKeyWithTooManyPositions = -3;
    return genome;
}

std::string serialised(const GenomeSequence& genome) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    serializeGenomeSequenceToFile(stream, &genome);
    std::fclose(stream);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}

// The genome read from `bytes`, written to a file after `before`; `end` receives where reading ended.
std::unique_ptr<GenomeSequence> deserialised(const std::string& before, const std::string& bytes,
                                             long* end = nullptr) {
    TemporaryDirectory directory;
    const std::string path = directory.write("genome.bin", before + bytes);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
    std::fseek(in.get(), static_cast<long>(before.size()), SEEK_SET);
    auto genome = deserializeGenomeSequenceFromFile(in.get());
    if (end != nullptr) *end = std::ftell(in.get());
    return genome;
}

// Embedded in a file, the genome read back is written as the same bytes; names and text are not stored.
TEST(GenomeSerialization, RoundTripKeepsCountsPositionsAndPlanes) {
    const std::string bytes = serialised(*sampleGenome());
    long end = 0;
    const auto read = deserialised("before", bytes + "after", &end);
    EXPECT_EQ(end, static_cast<long>(6 + bytes.size()));
    EXPECT_EQ(serialised(*read), bytes);
    EXPECT_EQ(std::tuple(read->chromosomes.at(1).name, hasReferenceText(*read)), std::tuple("", false));
}

// A serialised genome cut to `length` (-1: its last byte off) or with `size` bytes at `offset` set.
// The child may not allocate a gigabyte, so a reader that trusted an absurd length fails differently.
struct Edit {
    std::ptrdiff_t length;
    std::size_t offset = 0;
    std::uint64_t value = 0;
    int size = 0;
};
void readEdited(const Edit& edit) {
#ifndef KORU_SANITIZE  // the sanitizers reserve large mappings of their own
    const rlimit limit{std::uint64_t{1} << 30, std::uint64_t{1} << 30};
    setrlimit(RLIMIT_DATA, &limit);
#endif
    std::string bytes = serialised(*sampleGenome());
    if (edit.length != 0) bytes.resize(edit.length < 0 ? bytes.size() - 1 : edit.length);
    for (int byte = 0; byte < edit.size; ++byte)
        bytes[edit.offset + byte] = static_cast<char>(edit.value >> (8 * byte));
    deserialised("", bytes);
}

TEST(GenomeSerialization, ShortOrInconsistentFilesAreRefused) {
    constexpr std::size_t table = 200 + 52 + 9;  // the record, the genome information and its file name
    const std::string outside =
        "inconsistent: a chromosome lies outside the planes or overlaps the one before it";
    const struct {
        Edit edit;
        std::string message;
    } cases[] = {
        {{150},
         "^ERROR: The serialised genome ends before the genome record: 200 bytes are needed, but "
         "the file has only 150 left.\n$"},
        {{255},
         "^ERROR: The serialised genome ends before the genome file name: 9 bytes are needed, but "
         "the file has only 3 left.\n$"},
        {{table + 100}, "ends before the chromosome table: 176 bytes are needed"},
        {{-1}, "ends before the planes"},
        // Absurd counts are refused before anything that size is allocated.
        {{0, 200, 0xFFFFFFFF, 4}, "ends before the chromosome table: 377957121960 bytes are needed"},
        {{0, 248, 0xFFFFFFFF, 4}, "ends before the genome file name: 4294967295 bytes are needed"},
        {{0, 64, 0xFFFFFFFF, 8}, "ends before the planes: 34359738360 bytes are needed"},
        {{0, 64, 0x100000000, 8},
         "^ERROR: The serialised genome is inconsistent: the planes are larger than "
         "their 32-bit word count allows.\n$"},
        {{0, 72, 1000, 8}, "inconsistent: more words are in use than the planes hold"},
        // Chromosome two's end word past the used words, then its start before chromosome one's end.
        {{0, table + 88 + 64, 5, 8}, outside},
        {{0, table + 88 + 56, 2, 8}, outside},
        {{0, table + 88 + 80, 200, 8}, "inconsistent: a chromosome's positions do not match its words"},
    };
    for (const auto& c : cases) EXPECT_EXIT(readEdited(c.edit), ExitedWithCode(1), c.message);
}

TEST(GenomeSerialization, MissingStreamsRecordsAndFailedWritesEndTheRun) {
    EXPECT_EXIT(serializeGenomeSequenceToFile(nullptr, nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to write the genome to.\n$");
    EXPECT_EXIT(deserializeGenomeSequenceFromFile(nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to read the genome from.\n$");
    EXPECT_EXIT(serializeGenomeSequenceToFile(stdout, nullptr), ExitedWithCode(1),
                "^ERROR: There is no genome to write.\n$");
    EXPECT_EXIT(
        {
            std::FILE* full = std::fopen("/dev/full", "wb");
            serializeGenomeSequenceToFile(full, sampleGenome().get());
        },
        ExitedWithCode(1), "^ERROR: Could not write the genome to the file: No space left on device.\n$");
}

}  // namespace
}  // namespace koru
