// Splits a pair of FASTQ files into shards for separate runs (the workflow of workflow/):
//
//   koru_split_fastq [--level LEVEL] READ1 READ2 SHARDS OUTPUT_PREFIX [OUTPUT_SUFFIX]
//
// Shard k (1 to SHARDS) of read 1 is written to OUTPUT_PREFIXk_1OUTPUT_SUFFIX, of read 2 to
// OUTPUT_PREFIXk_2OUTPUT_SUFFIX (suffix .fq.gz by default: gzip at LEVEL, from 0 for none to 9,
// 1 by default). Shard k holds the k-th run of consecutive records of both files, so pairs stay
// together. Both inputs are checked before anything is written: they must exist, be whole FASTQ
// files (plain or gzip) and hold as many records as each other.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/fastq_split.h"
#include "support/errors.h"

namespace {

constexpr const char* usage =
    "Usage: koru_split_fastq [--level LEVEL] READ1 READ2 SHARDS OUTPUT_PREFIX [OUTPUT_SUFFIX]\n";

int gzipLevel(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '9')
        koru::exitWithErrorFormat("The gzip level \"%s\" given with --level is not a level from 0 to 9.\n",
                                  text.c_str());
    return text[0] - '0';
}

}  // namespace

int main(int argc, char** argv) {
    koru::FastqShardRequest request;
    if (argc > 1 && std::string(argv[1]) == "--level") {
        if (argc < 3) koru::exitWithError(usage);
        request.gzipLevel = gzipLevel(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc != 5 && argc != 6) koru::exitWithError(usage);
    request.read1FastqFile = argv[1];
    request.read2FastqFile = argv[2];
    const std::string shards = argv[3];
    char* end = nullptr;
    const unsigned long value = std::strtoul(shards.c_str(), &end, 10);
    if (shards.empty() || shards[0] < '0' || shards[0] > '9' || *end != '\0' || value < 1 || value > 100000)
        koru::exitWithErrorFormat("The number of shards \"%s\" is not a whole number from 1 to 100000.\n",
                                  shards.c_str());
    request.shards = static_cast<std::uint32_t>(value);
    request.outputPrefix = argv[4];
    if (argc == 6) request.outputSuffix = argv[5];
    koru::splitFastqPair(request);
    return 0;
}
