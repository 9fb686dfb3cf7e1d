// Diagnostic dumps of the count arrays and the binary indexes.

#include <algorithm>
#include <vector>

#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "support/text_format.h"

namespace koru {

std::string countStatisticsToString(const CountStatistics& s, const char* label, const char* prefix) {
    std::string text = stringPrintf("%s%s Count Statistics: \n", prefix, label);
    appendPrintf(text, "%s\tnumberOfPopulatedKeys = %lu \n", prefix, s.numberOfPopulatedKeys);
    appendPrintf(text, "%s\tkeysWhoseNumberOfPositionsIsAboveEvaluationLimit = %lu \n", prefix,
                 s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit);
    appendPrintf(text, "%s\t\tkeysWhoseNumberOfPositionsIsAboveIndexingLimit = %lu \n", prefix,
                 s.keysWhoseNumberOfPositionsIsAboveIndexingLimit);
    appendPrintf(text, "%s\t\t\tkeysWhoseNumberOfPositionsIsAboveCountLimit = %lu \n", prefix,
                 s.keysWhoseNumberOfPositionsIsAboveCountLimit);
    appendPrintf(text, "%s\tnumberOfReferenceGenomePositionsOverEvaluationLimit = %lu \n", prefix,
                 s.numberOfReferenceGenomePositionsOverEvaluationLimit);
    appendPrintf(text, "%s\t\tnumberOfReferenceGenomePositionsOverIndexingLimit = %lu \n", prefix,
                 s.numberOfReferenceGenomePositionsOverIndexingLimit);
    appendPrintf(text, "%s\t\t\tnumberOfReferenceGenomePositionsOverCountLimit = %lu \n", prefix,
                 s.numberOfReferenceGenomePositionsOverCountLimit);
    return text;
}

void printCountStatistics(std::FILE* file, const CountStatistics& statistics, const char* label,
                          const char* prefix) {
    std::fputs(countStatisticsToString(statistics, label, prefix).c_str(), file);
}

namespace {

std::string statisticsBlocks(const CountArrays& arrays, const char* prefix) {
    std::string text =
        countStatisticsToString(arrays.statistics[agKeyEncoding], "AG or Base Encoding", prefix);
    text += countStatisticsToString(arrays.statistics[cgKeyEncoding], "CG or Check Encoding", prefix);
    text += countStatisticsToString(arrays.statistics[xorKeyEncoding], "AC or XOR Encoding", prefix);
    text += countStatisticsToString(arrays.totalStatistics, "Total (AG + CG + AC Encoding)", prefix);
    return text;
}

std::string countArraysToString(const CountArrays& arrays) {
    std::string text = "\n\nCount Array Information:\n";
    text += genomeInformationToString(arrays.genomeInformation.get(), "\t");
    appendPrintf(text, "\tSize of count arrays = %lu\n", arrays.sizeOfCountArrays);
    return text + statisticsBlocks(arrays, "\t");
}

// How many keys of an encoding hold each count value; absent keys hold 0.
std::vector<std::uint64_t> countFrequencies(const KeyTable& table, std::uint64_t sizeOfCountArrays) {
    std::vector<std::uint64_t> frequencies(std::size_t{saturatedKeyCount} + 1, 0);
    std::uint64_t keys = 0;
    for (std::uint64_t bucket = 0; bucket + 1 < table.directorySize(); ++bucket) {
        for (std::uint64_t entry = table.directory[bucket]; entry < table.directory[bucket + 1];) {
            const KeyRun run = table.findRun(table.keyOf(bucket, entry));
            ++frequencies[table.countOfRun(run)];
            ++keys;
            entry = run.first + run.length;
        }
    }
    frequencies[0] = sizeOfCountArrays - keys;
    return frequencies;
}

}  // namespace

void printCountArrays(std::FILE* file, const CountArrays& countArrays) {
    std::fputs(countArraysToString(countArrays).c_str(), file);
}

void printCountArraysFragementCountFrequencies(std::FILE* file, const CountArrays& countArrays) {
    printCountArrays(file, countArrays);
    std::vector<std::vector<std::uint64_t>> frequencies;
    for (const KeyTable& table : countArrays.keyTables)
        frequencies.push_back(countFrequencies(table, countArrays.sizeOfCountArrays));
    std::fputs("\nFrequency of Count arrays:\n", file);
    std::uint64_t totals[numberOfKeyEncodings] = {};
    for (std::uint32_t value = 0; value <= saturatedKeyCount; ++value) {
        std::fprintf(file, "|| %11u       | %11u      |  %11u      |  %11u               ||\n", value,
                     static_cast<std::uint32_t>(frequencies[0][value]),
                     static_cast<std::uint32_t>(frequencies[1][value]),
                     static_cast<std::uint32_t>(frequencies[2][value]));
        for (int e = 0; e < numberOfKeyEncodings; ++e)
            totals[e] += frequencies[static_cast<std::size_t>(e)][value];
    }
    std::fprintf(file, "|| Total             | %11lu      |  %11lu      |  %11lu               ||\n",
                 totals[0], totals[1], totals[2]);
    std::fputs(statisticsBlocks(countArrays, "").c_str(), file);
}

void printBinaryIndexes(std::FILE* file, const BinaryIndexes& indexes, std::uint32_t firstKey,
                        std::uint32_t lastKey, bool printFrequencies) {
    if (printFrequencies) printCountArraysFragementCountFrequencies(file, *indexes.countArrays);
    std::fprintf(file, "Binary Index - Count, Position, and 1st referenced storage location for %u to %u\n",
                 firstKey, lastKey);
    for (std::uint64_t key = firstKey; key <= lastKey; ++key) {
        std::uint32_t columns[9];
        for (int e = 0; e < numberOfKeyEncodings; ++e) {
            const KeyPositions positions = indexes.lookup(e, static_cast<std::uint32_t>(key));
            // The position column holds the position of a key with one, as dense tables did.
            columns[3 * e] = positions.count;
            columns[3 * e + 1] = positions.count == 1 ? positions.list[0] : 0;
            columns[3 * e + 2] = positions.list != nullptr ? positions.list[0] : 0;
        }
        std::fprintf(file,
                     "|| %11u | %11u    | %11u    | %11u    | %11u    | %11u    | %11u    | %11u    | %11u   "
                     " | %11u    ||\n",
                     static_cast<std::uint32_t>(key), columns[0], columns[1], columns[2], columns[3],
                     columns[4], columns[5], columns[6], columns[7], columns[8]);
    }
    const auto& tables = indexes.countArrays->keyTables;
    std::uint64_t storageSize = 0;
    for (const KeyTable& table : tables) storageSize = std::max(storageSize, table.numberOfEntries);
    if (firstKey >= storageSize) return;
    const std::uint64_t lastEntry = std::min<std::uint64_t>(lastKey, storageSize - 1);
    std::fprintf(file, "Binary Index - Storage for %u to %u\n", firstKey,
                 static_cast<std::uint32_t>(lastEntry));
    for (std::uint64_t i = firstKey; i <= lastEntry; ++i) {
        std::uint32_t values[numberOfKeyEncodings];
        for (int e = 0; e < numberOfKeyEncodings; ++e)
            values[e] = i < tables[static_cast<std::size_t>(e)].numberOfEntries
                            ? tables[static_cast<std::size_t>(e)].positions[i]
                            : 0;
        std::fprintf(file, "|| %11u | %11u    | %11u    | %11u    ||\n", static_cast<std::uint32_t>(i),
                     values[0], values[1], values[2]);
    }
}

}  // namespace koru
