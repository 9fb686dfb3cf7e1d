#include "requests/sequence_file_request.h"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>

#include "io/output_files.h"
#include "io/qmr_output.h"
#include "mapping/read_pair_alignment.h"
#include "mapping/read_pair_mapping.h"
#include "mapping/read_pair_mapping_statistics.h"
#include "requests/request_summary.h"
#include "sequence/read_pair.h"
#include "sequence/string_utilities.h"
#include "support/synchronous_printing.h"
#include "support/text_format.h"
#include "support/timer.h"

namespace koru {

namespace {

// "<file>:<record>" of two unsigned 32-bit numbers.
constexpr std::uint32_t longestReadName = 21;

// All reads of a file have one length, so an unsupported one leaves every pair unmapped: said
// once per file rather than silently.
void warnOfUnsupportedReadLength(const SequenceFile& sequenceFile, const ReadPair& pair,
                                 const ReadPairMappingStatistics& statistics, std::uint32_t samplingStep) {
    if (statistics.readPairsWithUnsupportedReadLength == 0) return;
    const std::string message = unsupportedReadLengthMessage(pair.readA, samplingStep);
    std::fprintf(stderr,
                 "Warning: %sWarning: %u read pairs of the sequence file \"%s\" were reported unmapped.\n",
                 message.c_str(), statistics.readPairsWithUnsupportedReadLength,
                 sequenceFile.file ? sequenceFile.file->fileName.c_str() : "");
    std::fflush(stderr);
}

void mapRecords(const SequenceFile& sequenceFile, const BinaryIndexes& indexes,
                const ExecutionParameters& params, std::string_view readNamePrefix, ReadPair& pair,
                ReadPairMappingStatistics& statistics, OutputFileBufferedFileWriters& writers) {
    const std::uint32_t length = sequenceFileReadLength(sequenceFile);
    MappingWorkspace workspace(params);
    for (std::uint32_t record = 0; record < sequenceFile.numberOfRecords; ++record) {
        populateEncodedSequenceInReadPair(pair, length, sequenceFileReadA(sequenceFile, record),
                                          sequenceFileReadB(sequenceFile, record));
        // Names count records from 0, the QMR line column from 1.
        pair.sequenceFileLineNumber = record;
        if (readNamePrefix.empty())
            createNamesUsingSequenceFileInformation(pair);
        else
            createNamesFromPrefix(pair, readNamePrefix, record);
        pair.sequenceFileLineNumber = record + 1;
        const PairedAlignments& alignments = alignReadPair(params, pair, indexes, statistics, workspace);
        writePairedAlignmentsToOutputFile(params, alignments, writers, *indexes.genomeSequence);
    }
}

// A file that is not mapped still takes its turn in the output, with nothing.
void skipOutputItem(const OrderedOutputFiles& outputs, std::uint64_t item) {
    std::string nothing;
    for (OrderedOutputFile* file : {outputs.sam.get(), outputs.qmr.get()})
        if (file != nullptr) file->finish(item, item + 1, nothing);
}

void mapListedSequenceFile(const ExecutionParameters& params, const BinaryIndexes& indexes,
                           const OrderedOutputFiles& outputs, std::uint32_t index, unsigned staggerSeconds,
                           RequestSummary& summary) {
    const auto& request = params.sequenceFileMappingRequestParameters;
    const std::string& path = request.sequenceFileNames[index];
    if (index < static_cast<std::uint32_t>(omp_get_num_threads()))
        std::this_thread::sleep_for(std::chrono::seconds(staggerSeconds * omp_get_thread_num()));
    printThreadWithMessage(*params.standardOutputFile,
                           stringPrintf("the \"%s\" sequence file, which is file %u of %u", path.c_str(),
                                        index, request.numberOfSequenceFiles()));
    const std::uint32_t fileNumber = getSequenceFileNumberFromPath(path);
    if (isSequenceFileNumberSkipped(fileNumber, request.sequenceFileStartNumber,
                                    request.sequenceFileEndNumber)) {
        skipOutputItem(outputs, index);
        return;
    }
    Timer timer = startTimer(stringPrintf("Mapping time for \"%s\" sequence file", path.c_str()));
    std::unique_ptr<SequenceFile> sequenceFile = createSequenceFile(path, fileNumber, std::nullopt);
    SequenceFileOutputFiles files = runOutputFiles(params);
    files.ordered = &outputs;
    files.item = index;
    files.summary = &summary;
    alignSequencesFromSeqeunceFile(*sequenceFile, indexes, params, files);
    sequenceFile.reset();
    stopPrintAndFreePrintTime(*params.standardOutputFile, timer, true);
}

}  // namespace

SequenceFileOutputFiles runOutputFiles(const ExecutionParameters& params) {
    SequenceFileOutputFiles outputs;
    if (params.samOutputRequestParameters.isSamOutputRequest)
        outputs.samFile = params.samOutputRequestParameters.samOutputFile.get();
    if (params.qmrOutputRequestParameters.isQmrOutputRequest)
        outputs.qmrFile = params.qmrOutputRequestParameters.qmrOutputFile.get();
    return outputs;
}

void processSequenceFileMappingRequest(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                       unsigned staggerSeconds) {
    const std::uint32_t files = params.sequenceFileMappingRequestParameters.numberOfSequenceFiles();
    const std::uint32_t threads =
        params.singleThreadAlignment ? 1 : std::max(1u, std::min(params.maximumNumberOfThreads, files));
    printOpenMPEnvironmentInfo(*params.standardOutputFile);
    writeHeaderToOutputFile(params, *indexes.genomeSequence);
    RequestSummary summary(params);
    {
        const OrderedOutputFiles outputs = createOrderedOutputFiles(params);
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
        for (std::uint32_t index = 0; index < files; ++index)
            mapListedSequenceFile(params, indexes, outputs, index, staggerSeconds, summary);
    }
    const auto& request = params.sequenceFileMappingRequestParameters;
    summary.write(stringPrintf("Read pairs of %u sequence files in \"%s\"", files,
                               request.directoryWithSequenceFiles.c_str()));
}

void alignSequencesFromSeqeunceFile(const SequenceFile& sequenceFile, const BinaryIndexes& indexes,
                                    const ExecutionParameters& params) {
    alignSequencesFromSeqeunceFile(sequenceFile, indexes, params, runOutputFiles(params));
}

void alignSequencesFromSeqeunceFile(const SequenceFile& sequenceFile, const BinaryIndexes& indexes,
                                    const ExecutionParameters& params,
                                    const SequenceFileOutputFiles& outputs) {
    const auto nameLength = std::max<std::uint32_t>(
        longestReadName, static_cast<std::uint32_t>(outputs.readNamePrefix.size()) + 12);
    auto pair = createReadPair(sequenceFileReadLength(sequenceFile), nameLength);
    initQualitySequence(pair->readA, params.phredQualityOffset + assumedBaseQuality);
    initQualitySequence(pair->readB, params.phredQualityOffset + assumedBaseQuality);
    pair->sequenceFileNumber = sequenceFile.sequenceFileNumber;
    auto statistics = createReadPairMappingStatistics(params);
    const std::uint64_t records = sequenceFile.numberOfRecords;
    {
        const std::uint64_t qmrRecordBytes =
            outputs.qmrFile == nullptr
                ? 0
                : qmrLinesPerSequenceFileRecord *
                      getRecordSize(params.qmrOutputRequestParameters.qmrOutputFileFormatVersion);
        const std::uint32_t samCapacity = sequenceFileWriterCapacity(records, samBytesPerSequenceFileRecord);
        const std::uint32_t qmrCapacity = sequenceFileWriterCapacity(records, qmrRecordBytes);
        OutputFileBufferedFileWriters writers =
            outputs.ordered != nullptr
                ? createOutputFileBufferedFileWriters(*outputs.ordered, samCapacity, qmrCapacity)
                : createOutputFileBufferedFileWriters(outputs.samFile, samCapacity, outputs.qmrFile,
                                                      qmrCapacity);
        writers.beginItem(outputs.item);
        mapRecords(sequenceFile, indexes, params, outputs.readNamePrefix, *pair, *statistics, writers);
        writers.finishItem(outputs.item + 1);
    }
    printReadPairMappingStatistics(*params.standardOutputFile, statistics.get());
    if (outputs.summary != nullptr) outputs.summary->add(*statistics);
    warnOfUnsupportedReadLength(sequenceFile, *pair, *statistics, indexes.samplingStep());
}

std::uint32_t getSequenceFileNumberFromPath(std::string_view path) {
    const char* underscore = strrstr(path, "_");
    if (underscore == nullptr) return 0;
    std::uint64_t number = 0;
    for (const char* digit = underscore + 1;
         digit < path.data() + path.size() && *digit >= '0' && *digit <= '9'; ++digit) {
        number = std::min<std::uint64_t>(number * 10 + static_cast<std::uint64_t>(*digit - '0'),
                                         std::numeric_limits<std::uint32_t>::max());
    }
    return static_cast<std::uint32_t>(number);
}

bool isSequenceFileNumberSkipped(std::uint32_t fileNumber, std::uint32_t startNumber,
                                 std::uint32_t endNumber) {
    return (startNumber != 0 && fileNumber >= startNumber) || (endNumber != 0 && fileNumber <= endNumber);
}

std::uint32_t sequenceFileWriterCapacity(std::uint64_t records, std::uint64_t bytesPerRecord) {
    return static_cast<std::uint32_t>(std::min(records * bytesPerRecord, sequenceFileWriterCapacityLimit));
}

}  // namespace koru
