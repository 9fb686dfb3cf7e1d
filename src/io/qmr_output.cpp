#include "io/qmr_output.h"

#include <algorithm>
#include <cinttypes>

#include "candidates/score_records.h"
#include "config/command_line.h"
#include "support/errors.h"
#include "support/locked_file.h"
#include "support/text_format.h"

namespace koru {

namespace {

// Column caps that keep the fixed-width columns aligned.
constexpr std::uint32_t kMaximumEquallyGoodPositions = 9999;
constexpr std::uint32_t kMaximumScore = 999;

constexpr const char* kVersion2ColumnLine =
    "\"tagA\" \"tagB\" \"chrA\" \"chrB\" \"posA\" \"posB\" \"mWPcA\" \"mWPcB\" \"fRPcA\" \"fRPcB\" "
    "\"fRPcSum\" "
    "\"scoreSum\" \"file\" \"line\" \"Mtype\" \n";
constexpr const char* kVersion3ColumnLine =
    "\"chrA\" \"chrB\" \"posA\" \"posB\" \"binA\" \"binB\" \"homA\" \"homB\" \"scoreSum\" \"fRPcA\" "
    "\"fRPcB\" "
    "\"file\" \"line\" \"Mtype\" \n";

[[noreturn]] void exitOnUnsupportedVersion(const char* function) {
    exitWithErrorFormat("ERROR: QMR output of a format version other than 2 or 3 was asked for, for %s.\n",
                        function);
}

const Alignment& clearedAlignment() {
    static const Alignment cleared = [] {
        Alignment alignment;
        initAlignment(alignment);
        return alignment;
    }();
    return cleared;
}

const Alignment& alignmentOrCleared(const Alignment* alignment) {
    return alignment != nullptr ? *alignment : clearedAlignment();
}

// The columns one alignment contributes to a line.
struct QmrColumns {
    std::uint32_t chromosome;
    std::int64_t position;  // negative for the reverse complement
    std::uint32_t bin;
    std::uint32_t equallyGoodPositions;
    std::uint32_t minWordScore;
    std::uint32_t wholeReadScore;
};

QmrColumns columnsOf(const Alignment& alignment) {
    const MismatchScores& scores = alignment.primaryPosition.mappingScores.mismatchScores;
    const std::int64_t position = alignment.chromosomePosition;
    const bool reverse = alignment.primaryPosition.orientation == kReverseComplementOrientation;
    return {alignment.chromosomeNumber,
            reverse ? -position : position,
            getReadMask(scores),
            std::min(alignment.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches,
                     kMaximumEquallyGoodPositions),
            std::min<std::uint32_t>(scores.minWordScore, kMaximumScore),
            std::min<std::uint32_t>(scores.wholeReadScore, kMaximumScore)};
}

bool hasNoAlignment(const QMROutputRecord& record) {
    return record.alignmentA == nullptr && record.alignmentB == nullptr;
}

const GenomeInformation* genomeInformationOf(const ExecutionParameters& params,
                                             const GenomeSequence& genome) {
    // The genome's copy holds the chromosome count the reading found.
    return genome.genomeInformation ? genome.genomeInformation.get() : params.genomeInformation.get();
}

std::string qmrHeader(const ExecutionParameters& params, const GenomeSequence& genome, std::int32_t version) {
    const ProcessInformation& process = params.processInformation;
    const GenomeInformation* information = genomeInformationOf(params, genome);
    const GenomeInformation none;
    const GenomeInformation& genomeInformation = information != nullptr ? *information : none;
    std::string header = stringPrintf("#Command Line: \"%s\" \n", process.commandLine.c_str());
    appendPrintf(header,
                 "#Reference Genome: name = \"%s\", version = \"%s\", numberOfChromosomes = %u, "
                 "numberOfBasePairs = %" PRIu64 ", file = \"%s\" \n",
                 genomeInformation.name.c_str(), genomeInformation.version.c_str(),
                 genomeInformation.numberOfChromosomes, genome.sequenceLength,
                 genomeInformation.file.c_str());
    appendPrintf(
        header,
        "#KORU Information: version = \"%s\", maximum expected insert size = %u, maximum positions to "
        "evaluate per index entry = %u\n",
        koruVersion, static_cast<unsigned>(params.concordantReadPairBasePairWindowSize),
        params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex);
    appendPrintf(
        header,
        "#Process Information: start timestamp = \"%s\", hostname = \"%s\", user name = \"%s\", process "
        "id = %u, directory process started in = \"%s\"\n",
        process.startTime.c_str(), process.hostName.c_str(), process.userName.c_str(), process.processId,
        process.currentWorkingDirectory.c_str());
    if (version == 2) header += kVersion2ColumnLine;
    if (version == 3) header += kVersion3ColumnLine;
    return header;
}

std::uint32_t populatedCount(const Alignments& alignments) {
    return std::min(alignments.numberOfPopulatedAlignments, alignments.numberOfAllocatedAlignments());
}

// The first line always carries both reads' first alignments, so each read counts at least once.
std::uint32_t linesOf(const Alignments& alignments) {
    return std::max(populatedCount(alignments), 1u);
}

const Alignment* alignmentAt(const Alignments& alignments, std::uint32_t index) {
    return index < alignments.numberOfAllocatedAlignments() ? &alignments.alignments[index] : nullptr;
}

// What an extra line of one read adds to its score: the read length less its whole-read score.
std::uint32_t extraLineReadScore(const Alignment* alignment, std::uint32_t readLength) {
    if (alignment == nullptr || alignment->isEmpty != 0 || alignment->isReportable == 0) return 0;
    return readLength - alignment->primaryPosition.mappingScores.mismatchScores.wholeReadScore;
}

void writeLine(QMROutputRecord& record, const Alignment* alignmentA, const Alignment* alignmentB,
               std::int32_t scoreSum, std::string mType, BufferedFileWriter& writer) {
    record.alignmentA = alignmentA;
    record.alignmentB = alignmentB;
    record.scoreSum = scoreSum;
    record.mType = std::move(mType);
    writeQMROutputRecordToBufferedFile(record, writer);
}

// An alternate or junction line: scored from its own two alignments.
void writeExtraLine(QMROutputRecord& record, const Alignment* alignmentA, const Alignment* alignmentB,
                    std::string mType, BufferedFileWriter& writer) {
    const ReadPair& pair = *record.readPair;
    const std::uint32_t score =
        extraLineReadScore(alignmentA, pair.readA.length) + extraLineReadScore(alignmentB, pair.readB.length);
    writeLine(record, alignmentA, alignmentB, static_cast<std::int32_t>(score), std::move(mType), writer);
}

std::string typeLabelOf(const Alignment* alignment) {
    return getShortStringValueOfAlignmentType(alignment != nullptr ? alignment->alignmentType
                                                                   : emptyAlignmentType);
}

// Writes the pair's first line (n lines in all) after making room for all n lines, so that
// they stay together in the file.
void writeFirstLine(QMROutputRecord& record, const PairedAlignment& primary, std::uint32_t lines,
                    BufferedFileWriter& writer) {
    writer.flushIfRequestedFreeBufferSpaceUnAvailable(std::uint64_t{lines} * getRecordSize(record.version));
    writeLine(record, alignmentAt(primary.readAAlignments, 0), alignmentAt(primary.readBAlignments, 0),
              static_cast<std::int32_t>(primary.alignmentScore), stringPrintf("%3u", lines), writer);
}

void writeVersion3Lines(const PairedAlignments& pairedAlignments, BufferedFileWriter& writer) {
    const PairedAlignment* primary = pairedAlignments.primary();
    QMROutputRecord record = createQMROutputRecord(3, *pairedAlignments.readPair);
    if (primary == nullptr) {
        writeQMROutputRecordToBufferedFile(record, writer);
        return;
    }
    const Alignments& a = primary->readAAlignments;
    const Alignments& b = primary->readBAlignments;
    writeFirstLine(record, *primary, linesOf(a) + linesOf(b) - 1, writer);
    const Alignment* firstA = alignmentAt(a, 0);
    const Alignment* firstB = alignmentAt(b, 0);
    for (std::uint32_t i = 1; i < populatedCount(b); ++i)
        writeExtraLine(record, firstA, alignmentAt(b, i), typeLabelOf(alignmentAt(b, i)), writer);
    for (std::uint32_t i = 1; i < populatedCount(a); ++i)
        writeExtraLine(record, alignmentAt(a, i), firstB, typeLabelOf(alignmentAt(a, i)), writer);
}

bool haveSameGenomePosition(const Alignment* x, const Alignment* y) {
    return x != nullptr && y != nullptr &&
           x->primaryPosition.genomePosition == y->primaryPosition.genomePosition;
}

// A junction pair's secondary that only restates the primary's positions adds nothing.
bool isSecondaryToBeWritten(const ExecutionParameters& params, const PairedAlignment& primary,
                            const PairedAlignment* secondary) {
    if (!params.reportSecondaryAlignment || secondary == nullptr) return false;
    const bool restatesPrimary = haveSameGenomePosition(alignmentAt(primary.readAAlignments, 0),
                                                        alignmentAt(secondary->readAAlignments, 0)) &&
                                 haveSameGenomePosition(alignmentAt(primary.readBAlignments, 0),
                                                        alignmentAt(secondary->readBAlignments, 0));
    return !(primary.biotinJunctionFlag != 0 && restatesPrimary);
}

// The junction fragment of a read is its second alignment.
std::uint32_t writeVersion2JunctionLines(QMROutputRecord& record, const PairedAlignment& primary,
                                         BufferedFileWriter& writer) {
    const Alignments& a = primary.readAAlignments;
    const Alignments& b = primary.readBAlignments;
    const auto score = static_cast<std::int32_t>(primary.alignmentScore);
    std::uint32_t written = 0;
    if (a.hasBiotinJunction != 0 && populatedCount(a) > 1) {
        writeLine(record, alignmentAt(a, 1), alignmentAt(b, 0), score, typeLabelOf(alignmentAt(a, 1)),
                  writer);
        ++written;
    }
    if (b.hasBiotinJunction != 0 && populatedCount(b) > 1) {
        writeLine(record, alignmentAt(a, 0), alignmentAt(b, 1), score, typeLabelOf(alignmentAt(b, 1)),
                  writer);
        ++written;
    }
    return written;
}

// Every further alternate of `others` paired with the mate's first alignment.
std::uint32_t writeVersion2AlternateLines(QMROutputRecord& record, const Alignments& others,
                                          const Alignment* mateFirst, bool othersAreReadA,
                                          BufferedFileWriter& writer) {
    std::uint32_t written = 0;
    for (std::uint32_t i = 1; i < populatedCount(others); ++i) {
        const Alignment* alternate = alignmentAt(others, i);
        if (alternate->alignmentType != alternateAlignmentType) continue;
        if (othersAreReadA)
            writeExtraLine(record, alternate, mateFirst, "Alt", writer);
        else
            writeExtraLine(record, mateFirst, alternate, "Alt", writer);
        ++written;
    }
    return written;
}

}  // namespace

QMROutputRecord createQMROutputRecord(std::int32_t version, const ReadPair& readPair) {
    QMROutputRecord record;
    record.version = version;
    record.readPair = &readPair;
    return record;
}

std::uint32_t getRecordSize(std::int32_t version) {
    switch (version) {
        case 1:
            return 84;
        case 2:
            return 96;
        case 3:
            return 87;
        default:
            exitOnUnsupportedVersion("the size of its records");
    }
}

void writeQMROutputRecordFormatedFileHeader(const ExecutionParameters& params, const GenomeSequence& genome) {
    const std::int32_t version = params.qmrOutputRequestParameters.qmrOutputFileFormatVersion;
    if (version < 1 || version > 3) exitOnUnsupportedVersion("its header");
    LockedFile* file = params.qmrOutputRequestParameters.qmrOutputFile.get();
    if (file == nullptr) return;
    const std::string header = qmrHeader(params, genome, version);
    LockedFileGuard guard(*file);
    file->write(header);
    file->flushFile();
}

namespace {

void appendVersion3Line(std::string& out, const QMROutputRecord& record) {
    const ReadPair& pair = *record.readPair;
    if (hasNoAlignment(record)) {
        appendPrintf(out, "      0      0           0           0  0  0    0    0    0 %4u %4u %4u %7u %3s\n",
                     pair.readA.length, pair.readB.length, pair.sequenceFileNumber,
                     pair.sequenceFileLineNumber, record.mType.c_str());
        return;
    }
    // What was not worth reporting prints as nothing at all.
    const auto reportable = [](const Alignment* alignment) {
        return alignment != nullptr && alignment->isReportable != 0 ? alignment : nullptr;
    };
    const QmrColumns a = columnsOf(alignmentOrCleared(reportable(record.alignmentA)));
    const QmrColumns b = columnsOf(alignmentOrCleared(reportable(record.alignmentB)));
    appendPrintf(out, " %6u %6u %11" PRId64 " %11" PRId64 " %2u %2u %4u %4u %4i %4u %4u %4u %7u %3s\n",
                 a.chromosome, b.chromosome, a.position, b.position, a.bin, b.bin, a.equallyGoodPositions,
                 b.equallyGoodPositions, record.scoreSum, a.wholeReadScore, b.wholeReadScore,
                 pair.sequenceFileNumber, pair.sequenceFileLineNumber, record.mType.c_str());
}

void appendVersion2Line(std::string& out, const QMROutputRecord& record) {
    const ReadPair& pair = *record.readPair;
    if (hasNoAlignment(record)) {
        appendPrintf(
            out,
            "    0    0      0      0           0           0  100  100  100  100    0    0 %4u %7u %3s\n",
            pair.sequenceFileNumber, pair.sequenceFileLineNumber, record.mType.c_str());
        return;
    }
    const QmrColumns a = columnsOf(alignmentOrCleared(record.alignmentA));
    const QmrColumns b = columnsOf(alignmentOrCleared(record.alignmentB));
    appendPrintf(out, " %4u %4u %6u %6u %11" PRId64 " %11" PRId64 " %4u %4u %4u %4u %4u %4i %4u %7u %3s\n",
                 0u, 0u, a.chromosome, b.chromosome, a.position, b.position, a.minWordScore, b.minWordScore,
                 a.wholeReadScore, b.wholeReadScore, a.wholeReadScore + b.wholeReadScore, record.scoreSum,
                 pair.sequenceFileNumber, pair.sequenceFileLineNumber, record.mType.c_str());
}

// The record's line appended to the text, in the record's version.
void appendLine(std::string& out, const QMROutputRecord& record) {
    switch (record.version) {
        case 2:
            appendVersion2Line(out, record);
            return;
        case 3:
            appendVersion3Line(out, record);
            return;
        default:
            exitOnUnsupportedVersion("a record");
    }
}

}  // namespace

void createVersion3QMROutputRecordFormatedString(QMROutputRecord& record) {
    record.text.clear();
    appendVersion3Line(record.text, record);
}

void createVersion2QMROutputRecordFormatedString(QMROutputRecord& record) {
    record.text.clear();
    appendVersion2Line(record.text, record);
}

// Formatted straight into the writer's buffer.
void writeQMROutputRecordToBufferedFile(QMROutputRecord& record, BufferedFileWriter& writer) {
    appendLine(writer.recordBuffer(getRecordSize(record.version)), record);
}

void writePairedAlignmentsToQMROutputRecordFormatedFile(const ExecutionParameters& params,
                                                        const PairedAlignments& pairedAlignments,
                                                        BufferedFileWriter& writer,
                                                        const GenomeSequence& genome) {
    switch (params.qmrOutputRequestParameters.qmrOutputFileFormatVersion) {
        case 2:
            writePairedAlignmentsToVersion2QMROutputRecordFormatedFile(params, pairedAlignments, writer,
                                                                       genome);
            return;
        case 3:
            writeVersion3Lines(pairedAlignments, writer);
            return;
        default:
            exitOnUnsupportedVersion("the records of a read pair");
    }
}

void writePairedAlignmentsToVersion2QMROutputRecordFormatedFile(const ExecutionParameters& params,
                                                                const PairedAlignments& pairedAlignments,
                                                                BufferedFileWriter& writer,
                                                                const GenomeSequence& /*genome*/) {
    const PairedAlignment* primary = pairedAlignments.primary();
    const PairedAlignment* secondary = pairedAlignments.secondary();
    QMROutputRecord record = createQMROutputRecord(2, *pairedAlignments.readPair);
    if (primary == nullptr) {
        writeQMROutputRecordToBufferedFile(record, writer);
        return;
    }
    const Alignments& a = primary->readAAlignments;
    const Alignments& b = primary->readBAlignments;
    const bool withSecondary = isSecondaryToBeWritten(params, *primary, secondary);
    const std::uint32_t lines = linesOf(a) + linesOf(b) - (withSecondary ? 0 : 1);
    writeFirstLine(record, *primary, lines, writer);
    std::uint32_t written = 1;
    if (primary->biotinJunctionFlag != 0) written += writeVersion2JunctionLines(record, *primary, writer);
    if (withSecondary) {
        writeLine(record, alignmentAt(secondary->readAAlignments, 0),
                  alignmentAt(secondary->readBAlignments, 0),
                  static_cast<std::int32_t>(secondary->alignmentScore),
                  secondary->type == discordantPairedAlignmentType ? "SD" : "SC", writer);
        ++written;
    }
    if (written < lines) written += writeVersion2AlternateLines(record, b, alignmentAt(a, 0), false, writer);
    if (written < lines) writeVersion2AlternateLines(record, a, alignmentAt(b, 0), true, writer);
}

}  // namespace koru
