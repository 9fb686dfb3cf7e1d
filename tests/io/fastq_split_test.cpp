// Splitting FASTQ pairs into shards: consecutive records, pairs together, whole inputs checked
// before anything is written.

#include "io/fastq_split.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/memory_mapped_file.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::TemporaryDirectory;

std::string records(int first, int count, int read) {
    std::string text;
    for (int r = first; r < first + count; ++r)
        text += "@pair" + std::to_string(r) + "/" + std::to_string(read) + "\nACGTTGCA\n+\nIIIIIIII\n";
    return text;
}

std::string decompressed(const std::string& path) {
    return std::string(createMemoryMappedFile(path)->text());
}

TEST(ShardBounds, ShardsDifferByOneRecordAtMostAndCoverEveryRecord) {
    EXPECT_EQ(shardBounds(10, 4), (std::vector<std::uint64_t>{0, 3, 6, 8, 10}));
    EXPECT_EQ(shardBounds(8, 4), (std::vector<std::uint64_t>{0, 2, 4, 6, 8}));
    // More shards than records: the last shards are empty.
    EXPECT_EQ(shardBounds(2, 4), (std::vector<std::uint64_t>{0, 1, 2, 2, 2}));
    EXPECT_EQ(shardBounds(0, 3), (std::vector<std::uint64_t>{0, 0, 0, 0}));
    EXPECT_EQ(shardBounds(7, 1), (std::vector<std::uint64_t>{0, 7}));
}

TEST(FastqSplit, ShardsHoldConsecutiveRecordsOfBothFilesInOrder) {
    TemporaryDirectory directory;
    FastqShardRequest request;
    // Gzip in, one file plain and its last line without a line feed.
    request.read1FastqFile = directory.write("r1.fq.gz", testing::gzipCompress(records(0, 10, 1)));
    std::string read2 = records(0, 10, 2);
    read2.pop_back();
    request.read2FastqFile = directory.write("r2.fq", read2);
    request.shards = 4;
    request.outputPrefix = directory.file("shard");
    splitFastqPair(request);
    const int sizes[] = {3, 3, 2, 2};
    std::string joined1, joined2;
    for (std::uint32_t shard = 1, first = 0; shard <= 4; first += sizes[shard - 1], ++shard) {
        const std::string shard1 = decompressed(shardFileName(request, shard, 1));
        const std::string shard2 = decompressed(shardFileName(request, shard, 2));
        EXPECT_EQ(shard1, records(static_cast<int>(first), sizes[shard - 1], 1)) << shard;
        EXPECT_EQ(shard2, records(static_cast<int>(first), sizes[shard - 1], 2)) << shard;
        joined1 += shard1;
        joined2 += shard2;
    }
    EXPECT_EQ(joined1, records(0, 10, 1));
    EXPECT_EQ(joined2, read2 + "\n");
    // The shards are gzip files.
    EXPECT_EQ(testing::readFile(shardFileName(request, 1, 1)).substr(0, 2), "\x1f\x8b");
}

TEST(FastqSplit, EmptyInputsGiveEmptyShards) {
    TemporaryDirectory directory;
    FastqShardRequest request{directory.write("1.fq", ""), directory.write("2.fq", ""), 2,
                              directory.file("s"), ".fq"};
    splitFastqPair(request);
    EXPECT_EQ(testing::readFile(shardFileName(request, 2, 2)), "");
}

TEST(FastqSplitDeathTest, BadInputsAreRefusedBeforeAnyShardIsWritten) {
    TemporaryDirectory directory;
    const std::string ten = directory.write("ten.fq", records(0, 10, 1));
    const std::string nine = directory.write("nine.fq", records(0, 9, 2));
    const std::string cut = directory.write("cut.fq", records(0, 10, 2).substr(0, 100));
    const std::string prefix = directory.file("shard");
    EXPECT_EXIT(splitFastqPair({ten, nine, 2, prefix}), ExitedWithCode(1),
                "hold different numbers of records \\(10 and 9\\)");
    EXPECT_EXIT(splitFastqPair({ten, cut, 2, prefix}), ExitedWithCode(1), "cut.fq\" ends inside a record");
    EXPECT_EXIT(splitFastqPair({ten, directory.file("missing.fq"), 2, prefix}), ExitedWithCode(1),
                "missing.fq\" does not exist");
    EXPECT_EXIT(splitFastqPair({ten, ten, 0, prefix}), ExitedWithCode(1),
                "number of shards must be 1 or more");
    EXPECT_FALSE(std::filesystem::exists(prefix + "1_1.fq.gz"));
}

}  // namespace
}  // namespace koru
