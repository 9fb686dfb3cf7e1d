// The verbose dump of the execution parameters.

#include <string>

#include "config/execution_parameters.h"
#include "sequence/string_utilities.h"
#include "support/text_format.h"

namespace koru {

namespace {

void appendFlag(std::string& text, const char* tabs, const char* name, bool value) {
    appendPrintf(text, "%s%s = %s\n", tabs, name, getBoolAsString(value));
}

void appendUnsigned(std::string& text, const char* tabs, const char* name, std::uint32_t value) {
    appendPrintf(text, "%s%s = %u\n", tabs, name, value);
}

void appendQuoted(std::string& text, const char* tabs, const char* name, const std::string& value) {
    appendPrintf(text, "%s%s = \"%s\"\n", tabs, name, value.c_str());
}

void appendSearchSettings(std::string& text, const ExecutionParameters& p) {
    const auto& criteria = p.candidateQualityCritieria;
    appendFlag(text, "\t", "isReadPairSequencingData", p.isReadPairSequencingData);
    appendPrintf(text, "\tcandidateQualityCritieria.maximumPopCountValuePerBPOfRead = %f\n",
                 criteria.maximumPopCountValuePerBPOfRead);
    appendUnsigned(text, "\t", "candidateQualityCritieria.maximumCombinedMinWordMismatchScoreOfBothReads",
                   criteria.maximumCombinedMinWordMismatchScoreOfBothReads);
    appendUnsigned(text, "\t", "candidateQualityCritieria.minimumCombinedNumberOfKeysAssociatedWithBothReads",
                   criteria.minimumCombinedNumberOfKeysAssociatedWithBothReads);
    appendUnsigned(text, "\t", "candidateQualityCritieria.maximumMinWordMismatchScoreForIndividualRead",
                   criteria.maximumMinWordMismatchScoreForIndividualRead);
    appendUnsigned(text, "\t",
                   "candidateQualityCritieria.minimumNumberOfKeysAssociatedWithIndividualReadPosition",
                   criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition);
    appendUnsigned(text, "\t", "concordantReadPairBasePairWindowSize",
                   p.concordantReadPairBasePairWindowSize);
    appendUnsigned(text, "\t", "phredQualityOffset", p.phredQualityOffset);
    appendUnsigned(text, "\t", "maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex",
                   p.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex);
    appendUnsigned(text, "\t", "maximumNumberOfPositionsAKeyCanHaveInAnIndex",
                   p.maximumNumberOfPositionsAKeyCanHaveInAnIndex);
    appendUnsigned(text, "\t", "defaultBasesToShiftBetweenKeyGeneration",
                   p.defaultBasesToShiftBetweenKeyGeneration);
    appendUnsigned(text, "\t", "maximumNumberOfKeysToExhibitLinearScaling",
                   p.maximumNumberOfKeysToExhibitLinearScaling);
    appendUnsigned(text, "\t", "readLengthToStartLimitingNumberOfKeysGenerated",
                   p.readLengthToStartLimitingNumberOfKeysGenerated);
    appendUnsigned(text, "\t", "numberOfKeysToGenerateForHighRepeatCandidateGeneration",
                   p.numberOfKeysToGenerateForHighRepeatCandidateGeneration);
    appendPrintf(
        text,
        "\tmaximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration = %7.2f\n",
        p.maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration);
    appendUnsigned(text, "\t", "minimumNumberOfKeysAssociatedWithCandidatePosition",
                   p.minimumNumberOfKeysAssociatedWithCandidatePosition);
    appendUnsigned(text, "\t", "maximumSizeOfIndelToDetect", p.maximumSizeOfIndelToDetect);
    appendPrintf(text, "\tmininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing = %7.2f\n",
                 p.mininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing);
}

void appendFilesAndThreads(std::string& text, const ExecutionParameters& p) {
    text += "\tStandard Output File:\n";
    text += lockedFileToString(p.standardOutputFile.get(), "\t\t");
    appendQuoted(text, "\t", "traceOutputFileName", p.traceOutputFileName);
    appendQuoted(text, "\t", "candidatePositionFilterFile", p.candidatePositionFilterFile);
    appendUnsigned(text, "\t", "maximumNumberOfThreads", p.maximumNumberOfThreads);
    appendFlag(text, "\t\t", "singleThreadAlignment", p.singleThreadAlignment);
}

void appendSelectionSettings(std::string& text, const ExecutionParameters& p) {
    appendPrintf(text, "\tmaximumScorePercentageForQualityPairedAlignment = %7.2f\n",
                 p.maximumScorePercentageForQualityPairedAlignment);
    appendFlag(text, "\t", "useDisconcordantPairScorePenaltyToSelectPrimaryAlignment",
               p.useDisconcordantPairScorePenaltyToSelectPrimaryAlignment);
    appendUnsigned(text, "\t", "discordantPairScorePenantly", p.discordantPairScorePenantly);
    appendFlag(text, "\t", "generateSupplementalMappings", p.generateSupplementalMappings);
    appendFlag(text, "\t\t", "reportMostDistantMappingAsPrimaryForReadsWithJunctions",
               p.reportMostDistantMappingAsPrimaryForReadsWithJunctions);
    appendFlag(text, "\t\t", "detectBiotinJunctions", p.detectBiotinJunctions);
    appendUnsigned(text, "\t\t\t", "maximumDistanceBetweenBiotinJunctionFragments",
                   p.maximumDistanceBetweenBiotinJunctionFragments);
    appendUnsigned(text, "\t\t\t", "maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate",
                   p.maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate);
    appendFlag(text, "\t\t", "reportSecondaryAlignment", p.reportSecondaryAlignment);
    appendFlag(text, "\t\t", "generateAlternateMappings", p.generateAlternateMappings);
    appendUnsigned(text, "\t\t\t", "numberOfAlternateMappingsToReport", p.numberOfAlternateMappingsToReport);
    appendUnsigned(text, "\t\t\t",
                   "maximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported",
                   p.maximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported);
    appendUnsigned(text, "\t", "maximumNumberOfMismatchesInWholeReadForSimpleAlignment",
                   p.maximumNumberOfMismatchesInWholeReadForSimpleAlignment);
}

void appendFilters(std::string& text, const std::vector<CandidatePositionFilter>& filters) {
    const char* prefix = "\t";
    appendPrintf(text, "%sNumber of Candidate Position Filters = %u\n", prefix,
                 static_cast<std::uint32_t>(filters.size()));
    if (filters.empty()) return;
    appendPrintf(text, "%sCandidate Position Filters:\n", prefix);
    for (const CandidatePositionFilter& f : filters)
        appendPrintf(
            text,
            "%s\tchromsome = %u, start position in chromosome = %u, end position in chromosome = %u, start "
            "position in genome = %u, end position in genome = %u\n",
            prefix, f.chromosome, f.startPositionInChromosome, f.endPositionInChromosome,
            f.startPositionInGenome, f.endPositionInGenome);
}

// An output file is described as it is or, before it is opened, as it will be.
std::string outputFileDescription(const LockedFile* file, const std::string& fileName) {
    if (file != nullptr) return lockedFileToString(file, "\t\t");
    return lockedFileDescription(fileName, "w", "\t\t");
}

void appendOutputRequests(std::string& text, const ExecutionParameters& p) {
    const auto& qmr = p.qmrOutputRequestParameters;
    text += "\tQMR Output Request Parameters:\n";
    appendFlag(text, "\t\t", "isQmrOutputRequest", qmr.isQmrOutputRequest);
    appendPrintf(text, "\t\tqmrOutputFileFormatVersion = %d\n", qmr.qmrOutputFileFormatVersion);
    text += outputFileDescription(qmr.qmrOutputFile.get(), qmr.qmrOutputFileName);
    const auto& sam = p.samOutputRequestParameters;
    text += "\tSAM Output Request Parameters:\n";
    appendFlag(text, "\t\t", "isSamOutputRequest", sam.isSamOutputRequest);
    text += outputFileDescription(sam.samOutputFile.get(), sam.samOutputFileName);
}

void appendInputRequests(std::string& text, const ExecutionParameters& p) {
    const auto& files = p.sequenceFileMappingRequestParameters;
    text += "\tSequence File Format Mapping request:\n";
    appendFlag(text, "\t\t", "isSequenceFileMappingRequest", files.isSequenceFileMappingRequest);
    appendQuoted(text, "\t\t", "directoryWithSequenceFiles", files.directoryWithSequenceFiles);
    appendQuoted(text, "\t\t", "sequenceFilePrefix", files.sequenceFilePrefix);
    appendUnsigned(text, "\t\t", "sequenceFileStartNumber", files.sequenceFileStartNumber);
    appendUnsigned(text, "\t\t", "sequenceFileEndNumber", files.sequenceFileEndNumber);
    text += "\t\tSequence File Names:\n";
    appendPrintf(text, "\t\t\tNumber of Sequence File Names = %u\n", files.numberOfSequenceFiles());
    text += "\t\t\tSequence Files:\n";
    for (const std::string& name : files.sequenceFileNames)
        appendPrintf(text, "\t\t\t\t\"%s\"\n", name.c_str());
    const auto& fastq = p.fastqAlignmentRequestParameters;
    text += "\tFastq Alignment Request Parameters:\n";
    appendFlag(text, "\t\t", "isFastqAlignmentRequest", fastq.isFastqAlignmentRequest);
    appendQuoted(text, "\t\t", "read1FastqFile", fastq.read1FastqFile);
    appendQuoted(text, "\t\t", "read2FastqFile", fastq.read2FastqFile);
    const auto& server = p.interactiveServerRequestParameters;
    if (!server.isInteractiveServerRequest) return;
    text += "\tStarting a server for interactive requests\n";
    appendPrintf(text, "\t\tintervalBetweenRequestCheck = %f\n", server.intervalBetweenRequestCheck);
    appendQuoted(text, "\t\t", "requestInputDirectory", server.requestInputDirectory);
    appendQuoted(text, "\t\t", "requestOutputDirectory", server.requestOutputDirectory);
}

}  // namespace

std::string executionParametersToString(const ExecutionParameters* params) {
    if (params == nullptr) return "The provided execution parameter object was null\n";
    std::string text = "\nExecution Parameters:\n";
    text += processInformationToString(params->processInformation, "\t");
    text += genomeInformationToString(params->genomeInformation.get(), "\t");
    appendSearchSettings(text, *params);
    appendFilesAndThreads(text, *params);
    appendSelectionSettings(text, *params);
    appendFilters(text, params->candidatePositionFilters);
    appendOutputRequests(text, *params);
    appendInputRequests(text, *params);
    return text;
}

void printExecutionParameters(LockedFile& file, const ExecutionParameters* params) {
    file.writeUnderLock(executionParametersToString(params), true);
}

}  // namespace koru
