// The FASTA reader against a plain model of the reading rules, one character at a time, over
// random texts: long and short chromosomes, runs that cross words, lines and the reader's internal
// slices, white space anywhere, lower case and other characters.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "genome/genome_test_helpers.h"

namespace koru {
namespace {

using testing::fastaGenome;

struct ModelGenome {
    std::string ascii;
    std::vector<std::uint32_t> base, check;
    std::vector<std::uint64_t> basePairs;
    SequenceStatistics statistics;
};

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void modelRun(SequenceStatistics& s, char c, std::uint64_t run) {
    if (run < 32) return;
    if (c != 'N') {
        ++s.positionsWhereSingleNucleotideRepeatedFor32Bases;
        if (run > 32) ++s.positionsThatWereExtensionsOfPreviousRepeat;
        return;
    }
    ++s.positionsWhere32ConsecutiveUncalledBasesDetected;
    if (run == 32) {
        ++s.positionsWith32OrMoreConsecutiveUncalledBases;
        return;
    }
    ++s.uncalledPositionsThatWereExtensionsOfPreviousRepeat;
    s.positionsWith64OrMoreConsecutiveUncalledBases += run == 64;
    s.positionsWith96OrMoreConsecutiveUncalledBases += run == 96;
    s.positionsWith128OrMoreConsecutiveUncalledBases += run == 128;
}

void modelChromosome(ModelGenome& model, const std::string& text) {
    char previous = 'N';
    std::uint64_t run = 0, bases = 0;
    for (const char raw : text) {
        if (isWhitespace(raw)) continue;
        const char c = (raw >= 'a' && raw <= 'z') ? static_cast<char>(raw - 32) : raw;
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
    while (model.ascii.size() % 32 != 0) model.ascii.push_back('N');
    model.ascii.append(32, 'N');
    model.base.push_back(0), model.check.push_back(0);
}

std::string randomSequence(std::mt19937& random, std::size_t length) {
    const std::string letters = "ACGTNacgtnRY-*.";
    std::string text;
    while (text.size() < length) {
        const std::uint32_t kind = random() % 10;
        if (kind < 5) {
            text.push_back(letters[random() % letters.size()]);
        } else if (kind < 8) {
            // Runs around the 32, 64, 96 and 128 thresholds, in either case.
            const std::size_t runLength = 20 + random() % 130;
            const char letter = "ACGTNn"[random() % 6];
            for (std::size_t i = 0; i < runLength; ++i) {
                text.push_back(letter);
                if (random() % 40 == 0) text.push_back(" \t\n\r\v\f"[random() % 6]);
            }
        } else {
            text.push_back(" \t\n\r\v\f"[random() % 6]);
            if (random() % 4 == 0) text.push_back('\n');
        }
    }
    return text;
}

TEST(FastaModel, RandomGenomesMatchTheCharacterByCharacterRules) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 40; ++round) {
        ModelGenome model;
        std::string file;
        const int chromosomes = 1 + static_cast<int>(random() % 5);
        for (int chromosome = 0; chromosome < chromosomes; ++chromosome) {
            // Lengths from empty to past the reader's 16 KiB slices.
            const std::size_t length = random() % 3 == 0 ? random() % 70 : random() % 40000;
            std::string text = randomSequence(random, length);
            // A chromosome without bases is refused.
            if (text.find_first_not_of(" \t\n\r\v\f") == std::string::npos) text += 'G';
            file += ">c" + std::to_string(chromosome) + "\n" + text + "\n";
            modelChromosome(model, text + "\n");
        }
        const auto genome = fastaGenome(file);
        ASSERT_EQ(genome->chromosomes.size(), model.basePairs.size());
        for (std::size_t index = 0; index < model.basePairs.size(); ++index)
            ASSERT_EQ(genome->chromosomes[index].basePairs, model.basePairs[index]) << round;
        ASSERT_EQ(genome->paddedSequenceLength, model.ascii.size());
        ASSERT_EQ(genome->utilizedBinaryEncodedArraySize, model.base.size());
        ASSERT_EQ(testing::asciiOf(*genome, 0, model.ascii.size()), model.ascii) << round;
        for (std::size_t word = 0; word < model.base.size(); ++word) {
            ASSERT_EQ(genome->baseWord(word), model.base[word]) << round << " word " << word;
            ASSERT_EQ(genome->checkWord(word), model.check[word]) << round << " word " << word;
        }
        // The counters are fourteen 64-bit fields in a row; the total is the model's sum.
        model.statistics.totalNumberOfBases = model.statistics.adenines + model.statistics.cytosines +
                                              model.statistics.guanines + model.statistics.thymines +
                                              model.statistics.uncalledBases;
        const auto* actual = reinterpret_cast<const std::uint64_t*>(&genome->sequenceStatistics);
        const auto* expected = reinterpret_cast<const std::uint64_t*>(&model.statistics);
        for (std::size_t counter = 0; counter < sizeof(SequenceStatistics) / 8; ++counter)
            EXPECT_EQ(actual[counter], expected[counter]) << "round " << round << ", counter " << counter;
    }
}

}  // namespace
}  // namespace koru
