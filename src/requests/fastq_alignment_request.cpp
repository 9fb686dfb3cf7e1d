#include "requests/fastq_alignment_request.h"

#include <omp.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "io/fastq_reader.h"
#include "io/output_files.h"
#include "io/qmr_output.h"
#include "mapping/read_pair_alignment.h"
#include "requests/request_summary.h"
#include "support/progress_display.h"
#include "support/synchronous_printing.h"
#include "support/text_format.h"
#include "support/timer.h"

namespace koru {

namespace {

// The first pair of a run whose read length is not supported: reported once, as a warning.
struct UnsupportedReadLengths {
    std::uint64_t firstRecord = std::numeric_limits<std::uint64_t>::max();
    std::string message;
    std::uint64_t pairs = 0;
    std::uint64_t mappedMates = 0;    // of those pairs, the ones whose other read was mapped alone
    std::uint64_t uncalledReads = 0;  // reads of mostly N, left unmapped

    void note(const ReadPair& pair, std::uint64_t record, std::uint32_t samplingStep) {
        if (record >= firstRecord) return;
        firstRecord = record;
        const bool readASupported = isSupportedReadLength(pair.readA.length, samplingStep);
        message = unsupportedReadLengthMessage(readASupported ? pair.readB : pair.readA, samplingStep);
    }
    void merge(const UnsupportedReadLengths& other) {
        pairs += other.pairs;
        mappedMates += other.mappedMates;
        uncalledReads += other.uncalledReads;
        if (other.firstRecord < firstRecord) {
            firstRecord = other.firstRecord;
            message = other.message;
        }
    }
    void warn(double maximumShareOfUncalledBases) const {
        if (uncalledReads > 0)
            std::fprintf(stderr,
                         "Warning: %lu reads with more than %g%% uncalled bases (N) were reported unmapped; "
                         "their mates were mapped alone.\n",
                         static_cast<unsigned long>(uncalledReads), 100 * maximumShareOfUncalledBases);
        if (pairs == 0) return;
        std::fprintf(stderr, "Warning: %s", message.c_str());
        std::fprintf(stderr,
                     "Warning: %lu read pairs with a read of an unsupported length had that read reported "
                     "unmapped; %lu of their other reads were mapped alone.\n",
                     static_cast<unsigned long>(pairs), static_cast<unsigned long>(mappedMates));
        std::fflush(stderr);
    }
};

// Whether the primary paired alignment reports a read as mapped.
bool hasMappedRead(const PairedAlignments& alignments) {
    const PairedAlignment* primary = alignments.primary();
    if (primary == nullptr) return false;
    for (const Alignments* read : {&primary->readAAlignments, &primary->readBAlignments}) {
        const Alignment& first = read->alignments.front();
        if (!first.isEmpty && first.isReportable) return true;
    }
    return false;
}

// The records of a chunk of input are one item of the ordered output.
class ChunkItems {
  public:
    explicit ChunkItems(OutputFileBufferedFileWriters& writers) : writers_(writers) {}
    ~ChunkItems() { finish(); }
    ChunkItems(const ChunkItems&) = delete;
    ChunkItems& operator=(const ChunkItems&) = delete;

    // Called for every pair: a pair of a new chunk finishes the previous chunk's item.
    void follow(const ReadPairFastqFileReadBuffers& buffers) {
        if (started_ && buffers.chunkFirstRecord() == start_) return;
        finish();
        started_ = true;
        start_ = buffers.chunkFirstRecord();
        end_ = buffers.chunkEndRecord();
        writers_.beginItem(start_);
    }

  private:
    void finish() {
        if (started_) writers_.finishItem(end_);
        started_ = false;
    }

    OutputFileBufferedFileWriters& writers_;
    bool started_ = false;
    std::uint64_t start_ = 0;
    std::uint64_t end_ = 0;
};

// A chunk's records fit the buffers, so that a thread rarely waits for an earlier chunk.
constexpr std::uint32_t samChunkCapacity = 3 * samOutputBufferCapacity;

// What the threads share besides the input and outputs: their progress and their summed outcome.
struct RequestTotals {
    RequestTotals(MappingProgress& shown, const ExecutionParameters& params)
        : progress(shown), summary(params) {}

    MappingProgress& progress;
    UnsupportedReadLengths unsupported;
    RequestSummary summary;
};

// One thread's share of the request: pairs are taken until the input is used up.
void alignThreadsPairs(const ExecutionParameters& params, const BinaryIndexes& indexes,
                       ReadPairFastqFiles& files, const OrderedOutputFiles& outputs, RequestTotals& totals) {
    ReadPairFastqFileReadBuffers buffers(files, ReadPairFastqFileReadBuffers::defaultChunkBytes,
                                         params.phredQualityOffset);
    const std::uint32_t qmrCapacity =
        2 * getRecordSize(params.qmrOutputRequestParameters.qmrOutputFileFormatVersion) *
        qmrOutputRecordsPerBuffer;
    OutputFileBufferedFileWriters writers =
        createOutputFileBufferedFileWriters(outputs, samChunkCapacity, qmrCapacity);
    ChunkItems items(writers);
    auto pair = createReadPair(0, 0);
    auto statistics = createReadPairMappingStatistics(params);
    MappingWorkspace workspace(params);
    UnsupportedReadLengths threadUnsupported;
    const GenomeSequence& genome = *indexes.genomeSequence;
    while (buffers.getNextReadPair(*pair)) {
        items.follow(buffers);
        const std::uint32_t unsupportedBefore = statistics->readPairsWithUnsupportedReadLength;
        const std::uint32_t uncalledBefore = statistics->readsWithTooManyUncalledBases;
        const PairedAlignments& alignments = alignReadPair(params, *pair, indexes, *statistics, workspace);
        threadUnsupported.uncalledReads += statistics->readsWithTooManyUncalledBases - uncalledBefore;
        if (statistics->readPairsWithUnsupportedReadLength != unsupportedBefore) {
            ++threadUnsupported.pairs;
            if (hasMappedRead(alignments)) ++threadUnsupported.mappedMates;
            threadUnsupported.note(*pair, buffers.lastRecordNumber(), indexes.samplingStep());
        }
        writePairedAlignmentsToOutputFile(params, alignments, writers, genome);
        totals.progress.pairMapped();
    }
    if (params.verbose) printReadPairMappingStatistics(*params.standardOutputFile, statistics.get());
    totals.summary.add(*statistics);
#pragma omp critical(koruUnsupportedReadLengths)
    totals.unsupported.merge(threadUnsupported);
}

// The input's size, when both files have one (pipes do not): what the share done is taken of.
std::uint64_t inputBytes(const FastqAlignmentRequestParameters& request) {
    std::error_code error1, error2;
    const bool regular = std::filesystem::is_regular_file(request.read1FastqFile, error1) &&
                         std::filesystem::is_regular_file(request.read2FastqFile, error2);
    if (!regular) return 0;
    const std::uint64_t bytes = std::filesystem::file_size(request.read1FastqFile, error1) +
                                std::filesystem::file_size(request.read2FastqFile, error2);
    return error1 || error2 ? 0 : bytes;
}

}  // namespace

void processFastqAlignmentRequest(const ExecutionParameters& params, const BinaryIndexes& indexes) {
    const auto& request = params.fastqAlignmentRequestParameters;
    ReadPairFastqFiles files(request.read1FastqFile, request.read2FastqFile);
    const int threads = params.singleThreadAlignment ? 1 : static_cast<int>(params.maximumNumberOfThreads);
    printOpenMPEnvironmentInfo(*params.standardOutputFile);
    Timer timer = startTimer(stringPrintf("for Aligning \"%s\" and \"%s\" fastq files.",
                                          request.read1FastqFile.c_str(), request.read2FastqFile.c_str()));
    writeHeaderToOutputFile(params, *indexes.genomeSequence);
    MappingProgress progress(params.progressLine.get(), inputBytes(request), [&files] {
        return files.read1().fileBytesRead() + files.read2().fileBytesRead();
    });
    RequestTotals totals(progress, params);
    {
        const OrderedOutputFiles outputs = createOrderedOutputFiles(params);
#pragma omp parallel num_threads(threads)
        alignThreadsPairs(params, indexes, files, outputs, totals);
    }
    if (params.progressLine) params.progressLine->clear();
    totals.summary.write(stringPrintf("Read pairs of \"%s\" and \"%s\"", request.read1FastqFile.c_str(),
                                      request.read2FastqFile.c_str()));
    stopPrintAndFreePrintTime(*params.standardOutputFile, timer, true);
    totals.unsupported.warn(params.maximumShareOfUncalledBases);
}

}  // namespace koru
