#pragma once
// Splitting a pair of FASTQ files into shards that separate runs can map: shard k of both files
// holds the same consecutive run of records, so pairs stay together and the shards' outputs, put
// one after the other, follow the input's order.

#include <cstdint>
#include <string>
#include <vector>

namespace koru {

// Records (four lines; a last line may lack its line feed) of a FASTQ file, plain or gzip. A file
// that ends inside a record ends the run naming it.
std::uint64_t countFastqRecords(const std::string& fileName);

// The first record of each of `shards` shards of `records` records, and `records` last: shard k is
// [bounds[k], bounds[k + 1]). Shard sizes differ by one record at most.
std::vector<std::uint64_t> shardBounds(std::uint64_t records, std::uint32_t shards);

struct FastqShardRequest {
    std::string read1FastqFile;
    std::string read2FastqFile;
    std::uint32_t shards = 1;
    // Shard k (from 1) of read 1 goes to `outputPrefix` + "k_1" + `outputSuffix`, of read 2 to
    // ..."k_2"...; a suffix ending in ".gz" writes gzip.
    std::string outputPrefix;
    std::string outputSuffix = ".fq.gz";
    // The gzip level of gzip shards, 0 (stored: no compression, the fastest where the shards stay
    // on the machine) to 9; level 1 looks for run-length matches only.
    int gzipLevel = 1;
};

std::string shardFileName(const FastqShardRequest& request, std::uint32_t shard, int read);

// Checks both inputs (they exist, are whole FASTQ files and hold as many records as each other)
// before any shard is written, then writes every shard of both files, the two files on two threads.
// Every refusal ends the run with a message naming the file.
void splitFastqPair(const FastqShardRequest& request);

}  // namespace koru
