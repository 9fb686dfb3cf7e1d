// Adds up the mapping statistics of runs over the shards of one input (written by koru's
// --statisticsFileName) into the whole input's:
//
//   koru_merge_statistics OUTPUT_TABLE OUTPUT_REPORT TABLE...
//
// OUTPUT_TABLE receives the summed table, in the tables' own form; OUTPUT_REPORT the statistics
// report of the sum, as a verbose run prints a thread's. Tables counted under other settings
// (window size, quality criteria, candidate limit) cannot be added up and are refused.

#include <cstdio>
#include <string>

#include "mapping/statistics_table.h"
#include "support/errors.h"
#include "support/memory_mapped_file.h"

namespace {

void writeText(const std::string& fileName, const std::string& text) {
    std::FILE* file = std::fopen(fileName.c_str(), "w");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0)
        koru::exitWithErrorFormat("The file \"%s\" could not be written.\n", fileName.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) koru::exitWithError("Usage: koru_merge_statistics OUTPUT_TABLE OUTPUT_REPORT TABLE...\n");
    koru::ReadPairMappingStatistics total;
    for (int i = 3; i < argc; ++i) {
        const auto file = koru::createMemoryMappedFile(argv[i]);
        const koru::ReadPairMappingStatistics part = koru::statisticsFromTable(file->text(), argv[i]);
        if (i == 3)
            total = part;
        else if (!koru::addStatistics(total, part))
            koru::exitWithErrorFormat(
                "The statistics file \"%s\" was counted under other settings (window size, quality "
                "criteria or candidate limit) than \"%s\": they cannot be added up.\n",
                argv[i], argv[3]);
    }
    writeText(argv[1], koru::statisticsToTable(total));
    writeText(argv[2],
              "Read Pair Mapping Statistics:\n" + koru::readPairMappingStatisticsToString(total, ""));
    return 0;
}
