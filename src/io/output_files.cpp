#include "io/output_files.h"

#include "io/qmr_output.h"
#include "io/sam_output.h"

namespace koru {

OutputFileBufferedFileWriters::~OutputFileBufferedFileWriters() {
    qmrWriter.reset();
    samWriter.reset();
}

void OutputFileBufferedFileWriters::beginItem(std::uint64_t start) {
    if (samWriter) samWriter->beginItem(start);
    if (qmrWriter) qmrWriter->beginItem(start);
}

void OutputFileBufferedFileWriters::finishItem(std::uint64_t end) {
    if (samWriter) samWriter->finishItem(end);
    if (qmrWriter) qmrWriter->finishItem(end);
}

OrderedOutputFiles createOrderedOutputFiles(LockedFile* samFile, LockedFile* qmrFile) {
    OrderedOutputFiles files;
    if (samFile != nullptr) files.sam = std::make_unique<OrderedOutputFile>(*samFile);
    if (qmrFile != nullptr) files.qmr = std::make_unique<OrderedOutputFile>(*qmrFile);
    return files;
}

OrderedOutputFiles createOrderedOutputFiles(const ExecutionParameters& params) {
    const SamOutputRequestParameters& sam = params.samOutputRequestParameters;
    const QmrOutputRequestParameters& qmr = params.qmrOutputRequestParameters;
    return createOrderedOutputFiles(sam.isSamOutputRequest ? sam.samOutputFile.get() : nullptr,
                                    qmr.isQmrOutputRequest ? qmr.qmrOutputFile.get() : nullptr);
}

OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(const OrderedOutputFiles& files,
                                                                  std::uint32_t samCapacity,
                                                                  std::uint32_t qmrCapacity) {
    OutputFileBufferedFileWriters writers;
    if (files.sam) writers.samWriter = std::make_unique<BufferedFileWriter>(*files.sam, samCapacity);
    if (files.qmr) writers.qmrWriter = std::make_unique<BufferedFileWriter>(*files.qmr, qmrCapacity);
    return writers;
}

void writeHeaderToOutputFile(const ExecutionParameters& params, const GenomeSequence& genome) {
    if (params.qmrOutputRequestParameters.isQmrOutputRequest)
        writeQMROutputRecordFormatedFileHeader(params, genome);
    if (params.samOutputRequestParameters.isSamOutputRequest) writeSamFileHeader(params, genome);
}

OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(const ExecutionParameters& params) {
    OutputFileBufferedFileWriters writers;
    const SamOutputRequestParameters& sam = params.samOutputRequestParameters;
    if (sam.isSamOutputRequest && sam.samOutputFile)
        writers.samWriter = std::make_unique<BufferedFileWriter>(*sam.samOutputFile, samOutputBufferCapacity);
    const QmrOutputRequestParameters& qmr = params.qmrOutputRequestParameters;
    if (qmr.isQmrOutputRequest && qmr.qmrOutputFile) {
        const std::uint32_t capacity =
            getRecordSize(qmr.qmrOutputFileFormatVersion) * qmrOutputRecordsPerBuffer;
        writers.qmrWriter = std::make_unique<BufferedFileWriter>(*qmr.qmrOutputFile, capacity);
    }
    return writers;
}

OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(LockedFile* samFile,
                                                                  std::uint32_t samCapacity,
                                                                  LockedFile* qmrFile,
                                                                  std::uint32_t qmrCapacity) {
    OutputFileBufferedFileWriters writers;
    if (samFile != nullptr) writers.samWriter = std::make_unique<BufferedFileWriter>(*samFile, samCapacity);
    if (qmrFile != nullptr) writers.qmrWriter = std::make_unique<BufferedFileWriter>(*qmrFile, qmrCapacity);
    return writers;
}

void writePairedAlignmentsToOutputFile(const ExecutionParameters& params,
                                       const PairedAlignments& pairedAlignments,
                                       OutputFileBufferedFileWriters& writers, const GenomeSequence& genome) {
    if (writers.samWriter)
        writePairedAlignmentsToSamFile(params, pairedAlignments, *writers.samWriter, genome);
    if (writers.qmrWriter)
        writePairedAlignmentsToQMROutputRecordFormatedFile(params, pairedAlignments, *writers.qmrWriter,
                                                           genome);
}

}  // namespace koru
