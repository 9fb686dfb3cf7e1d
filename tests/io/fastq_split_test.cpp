// FASTQ pairs split into shards of consecutive records, inputs checked before anything is written.

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

std::string records(std::uint32_t first, std::uint32_t count, std::uint32_t read) {
    std::string text;
    for (std::uint32_t r = first; r < first + count; ++r)
        text += "@pair" + std::to_string(r) + "/" + std::to_string(read) + "\nACGTTGCA\n+\nIIIIIIII\n";
    return text;
}

std::string decompressed(const std::string& path) {
    return std::string(createMemoryMappedFile(path)->text());
}

TEST(ShardBounds, ShardsDifferByOneRecordAtMostAndCoverEveryRecord) {
    EXPECT_EQ(shardBounds(10, 4), (std::vector<std::uint64_t>{0, 3, 6, 8, 10}));
    EXPECT_EQ(shardBounds(2, 4), (std::vector<std::uint64_t>{0, 1, 2, 2, 2}));
    EXPECT_EQ(shardBounds(0, 3), (std::vector<std::uint64_t>{0, 0, 0, 0}));
    EXPECT_EQ(shardBounds(7, 1), (std::vector<std::uint64_t>{0, 7}));
}

TEST(FastqSplit, ShardsHoldConsecutiveRecordsOfBothFilesInOrderOrNoneOfEmptyInputs) {
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
    // Shards of 3, 3, 2 and 2 records, the plain file's last line given its line feed.
    const std::uint32_t sizes[] = {3, 3, 2, 2};
    for (std::uint32_t shard = 1, first = 0; shard <= 4; first += sizes[shard - 1], ++shard)
        for (const std::uint32_t read : {1u, 2u})
            EXPECT_EQ(decompressed(shardFileName(request, shard, read)),
                      records(first, sizes[shard - 1], read))
                << shard << " " << read;
    EXPECT_EQ(testing::readFile(shardFileName(request, 1, 1)).substr(0, 2), "\x1f\x8b");
    // Stored (level 0): still gzip, the same records, and no smaller than level 1's.
    FastqShardRequest stored = request;
    stored.outputPrefix = directory.file("stored");
    stored.gzipLevel = 0;
    splitFastqPair(stored);
    const std::string storedShard = shardFileName(stored, 1, 1), fastShard = shardFileName(request, 1, 1);
    EXPECT_EQ(decompressed(storedShard), records(0, 3, 1));
    EXPECT_EQ(testing::readFile(storedShard).substr(0, 2), "\x1f\x8b");
    EXPECT_GT(std::filesystem::file_size(storedShard), std::filesystem::file_size(fastShard));
    const FastqShardRequest empty{directory.write("1.fq", ""), directory.write("2.fq", ""), 2,
                                  directory.file("s"), ".fq"};
    splitFastqPair(empty);
    EXPECT_EQ(testing::readFile(shardFileName(empty, 2, 2)), "");
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
    FastqShardRequest badLevel{ten, ten, 2, prefix};
    badLevel.gzipLevel = 10;
    EXPECT_EXIT(splitFastqPair(badLevel), ExitedWithCode(1), "gzip level 10 is not a level from 0 to 9");
    EXPECT_FALSE(std::filesystem::exists(prefix + "1_1.fq.gz"));
}

}  // namespace
}  // namespace koru
