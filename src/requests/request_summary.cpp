#include "requests/request_summary.h"

#include <ctime>

#include "io/library_report.h"
#include "mapping/statistics_table.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

std::string creationTime() {
    const std::time_t now = std::time(nullptr);
    char text[64] = {};
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0)
        return {};
    return text;
}

std::vector<std::pair<std::string, std::string>> runSettings(const ExecutionParameters& params) {
    std::vector<std::pair<std::string, std::string>> settings;
    if (params.genomeInformation) settings.emplace_back("Reference", params.genomeInformation->file);
    if (!params.indexFileName.empty()) settings.emplace_back("Index file", params.indexFileName);
    settings.emplace_back("Concordant window",
                          stringPrintf("%u bases", params.concordantReadPairBasePairWindowSize));
    settings.emplace_back("Library", params.isReadPairSequencingData ? "paired-end" : "mate-pair");
    settings.emplace_back("Supplemental mappings", yesNo(params.generateSupplementalMappings));
    settings.emplace_back("Alternate mappings", yesNo(params.generateAlternateMappings));
    settings.emplace_back("Threads", params.singleThreadAlignment
                                         ? std::string("1")
                                         : stringPrintf("%u", params.maximumNumberOfThreads));
    return settings;
}

}  // namespace

RequestSummary::RequestSummary(const ExecutionParameters& params)
    : params_(params), wallStart_(std::chrono::steady_clock::now()), processorStart_(std::clock()) {
    if (!params.libraryReportFileName.empty() || !params.statisticsFileName.empty())
        total_ = createReadPairMappingStatistics(params);
}

void RequestSummary::add(const ReadPairMappingStatistics& part) {
    if (!total_) return;
#pragma omp critical(koruRequestSummary)
    addStatisticsCounters(*total_, part);
}

void RequestSummary::write(const std::string& inputs) const {
    if (!total_) return;
    if (!params_.statisticsFileName.empty())
        writeWholeTextFile(params_.statisticsFileName, statisticsToTable(*total_), "statistics file",
                           "--statisticsFileName");
    if (params_.libraryReportFileName.empty()) return;
    LibraryReportRun run;
    run.inputs = inputs;
    run.settings = runSettings(params_);
    run.mappingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
    run.processorSeconds = static_cast<double>(std::clock() - processorStart_) / CLOCKS_PER_SEC;
    run.created = creationTime();
    writeLibraryReport(params_.libraryReportFileName, libraryReportHtml(*total_, run));
}

}  // namespace koru
