#include "config/run_files.h"

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "index/index_file.h"
#include "support/errors.h"
#include "support/files.h"

namespace koru {

namespace {

// A file as the command line named it, with the option that named it.
struct NamedFile {
    std::string path;
    const char* option;
};

void addNamed(std::vector<NamedFile>& files, const std::string& path, const char* option) {
    if (!path.empty()) files.push_back({path, option});
}

// Every file the run may read; a file named but not read by the request served is kept safe too.
std::vector<NamedFile> inputFiles(const ExecutionParameters& params) {
    std::vector<NamedFile> files;
    if (params.genomeInformation)
        addNamed(files, params.genomeInformation->file,
                 params.genomeInformation->formatType == fastaGenomeFormatType
                     ? "--referenceGenomeFastaFileName"
                     : "--binaryReferenceGenome");
    addNamed(files, params.indexFileName, "--indexFile");
    addNamed(files, params.candidatePositionFilterFile, "--candidatePositionFilterFile");
    addNamed(files, params.fastqAlignmentRequestParameters.read1FastqFile, "--read1FastqFileName");
    addNamed(files, params.fastqAlignmentRequestParameters.read2FastqFile, "--read2FastqFileName");
    for (const std::string& path : params.sequenceFileMappingRequestParameters.sequenceFileNames)
        addNamed(files, path, "--directoryWithSequenceFiles");
    return files;
}

// The files the run opens for writing in place; SAM and QMR only when it serves a request.
std::vector<NamedFile> writtenFiles(const ExecutionParameters& params) {
    std::vector<NamedFile> files;
    const auto& sam = params.samOutputRequestParameters;
    const auto& qmr = params.qmrOutputRequestParameters;
    if (hasRequest(params) && sam.isSamOutputRequest && sam.samOutputFileName != standardOutputFileName)
        addNamed(files, sam.samOutputFileName, "--samOutputFileName");
    if (hasRequest(params) && qmr.isQmrOutputRequest)
        addNamed(files, qmr.qmrOutputFileName, "--qmrOutputFileName");
    if (hasRequest(params)) addNamed(files, params.libraryReportFileName, "--reportFile");
    if (hasRequest(params)) addNamed(files, params.statisticsFileName, "--statisticsFileName");
    addNamed(files, params.reportFileName, "--standardOutputFileName");
    addNamed(files, params.traceOutputFileName, "--traceOutputFile");
    return files;
}

void refuseSharedFiles(const std::vector<NamedFile>& outputs, const std::vector<NamedFile>& inputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const NamedFile& output = outputs[i];
        for (const NamedFile& input : inputs)
            if (namesSameFile(output.path, input.path))
                exitWithErrorFormat(
                    "The output file \"%s\" (%s) is the input file \"%s\" (%s): writing it would destroy the "
                    "input.\n",
                    output.path.c_str(), output.option, input.path.c_str(), input.option);
        for (std::size_t j = 0; j < i; ++j)
            if (namesSameFile(output.path, outputs[j].path))
                exitWithErrorFormat(
                    "The output file \"%s\" (%s) is also the output file \"%s\" (%s): each output needs a "
                    "file "
                    "of its own.\n",
                    output.path.c_str(), output.option, outputs[j].path.c_str(), outputs[j].option);
    }
}

// The server's directories must be directories, and differ: results written among the requests
// would be taken for requests and answered in turn.
void checkServerDirectories(const ExecutionParameters& params) {
    const auto& server = params.interactiveServerRequestParameters;
    if (!server.isInteractiveServerRequest) return;
    struct stat input {};
    struct stat output {};
    const NamedFile directories[] = {{server.requestInputDirectory, "--serverRequestInputDirectory"},
                                     {server.requestOutputDirectory, "--serverRequestOutputDirectory"}};
    for (const auto& [directory, status] : {std::pair{&directories[0], &input}, {&directories[1], &output}})
        if (stat(directory->path.c_str(), status) != 0 || !S_ISDIR(status->st_mode))
            exitWithErrorFormat("The directory \"%s\" (%s) is not a directory.\n", directory->path.c_str(),
                                directory->option);
    if (input.st_dev == output.st_dev && input.st_ino == output.st_ino)
        exitWithErrorFormat(
            "The request output directory \"%s\" (--serverRequestOutputDirectory) is the request input "
            "directory \"%s\" (--serverRequestInputDirectory): results written there would be taken for "
            "requests.\n",
            server.requestOutputDirectory.c_str(), server.requestInputDirectory.c_str());
}

}  // namespace

void checkRunFiles(const ExecutionParameters& params) {
    checkServerDirectories(params);
    const std::vector<NamedFile> written = writtenFiles(params);
    std::vector<NamedFile> outputs = written;
    addNamed(outputs, params.writeIndexFileName, "--writeIndexFile");
    refuseSharedFiles(outputs, inputFiles(params));
    if (!params.writeIndexFileName.empty()) checkIndexFileCanBeWritten(params.writeIndexFileName);
    for (const NamedFile& output : written) {
        const std::string problem = whyFileCannotBeWritten(output.path);
        if (!problem.empty())
            exitWithErrorFormat("The output file \"%s\" (%s) cannot be written: %s.\n", output.path.c_str(),
                                output.option, problem.c_str());
    }
}

}  // namespace koru
