// The FASTA reader against a plain model of the reading rules, one character at a time, over
// random texts: long and short chromosomes, runs that cross words, lines and the reader's internal
// slices, white space anywhere, lower case and other characters.

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "genome/genome_test_helpers.h"

namespace koru {
namespace {

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

// Single characters, runs around the 32, 64, 96 and 128 thresholds in either case with the odd
// white space inside, and white space.
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

// The text is decoded from the planes, the uncalled plane and the runs of other letters: any window
// of it is the model's.
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
        const auto genome = testing::fastaGenome(file);
        std::vector<std::uint64_t> basePairs;
        for (const ChromosomeInformation& chromosome : genome->chromosomes)
            basePairs.push_back(chromosome.basePairs);
        ASSERT_EQ(basePairs, model.basePairs);
        ASSERT_EQ(genome->paddedSequenceLength, model.ascii.size());
        ASSERT_EQ(genome->utilizedBinaryEncodedArraySize, model.base.size());
        ASSERT_EQ(testing::asciiOf(*genome, 0, model.ascii.size()), model.ascii);
        for (std::size_t start = 0; start < model.ascii.size(); start += 1 + random() % 200)
            for (const std::size_t length : {1u, 31u, 33u, 150u})
                ASSERT_EQ(testing::asciiOf(*genome, start, length), model.ascii.substr(start, length))
                    << start;
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

}  // namespace
}  // namespace koru
