// The library report end to end: a mate-pair library with a known share of paired-end
// contamination, simulated, mapped by the binary, and the page's figures held against the truth.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

// A request mapping the two files to out.sam.
std::vector<std::string> request(const std::string& read1, const std::string& read2) {
    return {"--referenceGenomeFastaFileName",
            lambdaGenomeFile,
            "--read1FastqFileName",
            read1,
            "--read2FastqFileName",
            read2,
            "--samOutputFileName",
            "out.sam"};
}

std::uint64_t cell(const std::string& html, const std::string& pattern) {
    std::smatch match;
    if (std::regex_search(html, match, std::regex(pattern))) return std::stoull(match[1]);
    ADD_FAILURE() << "no " << pattern;
    return 0;
}

std::uint64_t row(const std::string& html, const std::string& id) {
    return cell(html, "data-row=\"" + id + "\"><th>[^<]*</th><td class=\"n\">(\\d+)<");
}

std::uint64_t orientationCell(const std::string& html, const std::string& orientation,
                              const std::string& field = "") {
    return cell(html, "data-class=\"" + orientation + "\">.*?<td class=\"n" + field + "\">(\\d+)");
}

// 1400 mate pairs (2 to 5 kbase fragments, reads facing away across the junction) and 600
// paired-end pairs of about 300 bases: 30 % contamination.
TEST(LibraryReport, FiguresMatchAMixedLibraryOfKnownTruth) {
    TemporaryDirectory directory;
    const auto file = [&](const std::string& name) { return directory.file(name); };
    ASSERT_EQ(simulateReads(lambdaGenomeFile, file("mate_1.fq"), file("mate_2.fq"),
                            "--pairs 1400 --length 100 --insert 300 --deviation 30 --mate-pair --seed 5"),
              0);
    ASSERT_EQ(simulateReads(lambdaGenomeFile, file("pe_1.fq"), file("pe_2.fq"),
                            "--pairs 600 --length 100 --insert 300 --deviation 30 --seed 6"),
              0);
    for (const std::string mate : {"1", "2"})
        ASSERT_EQ(shell("cat '" + file("mate_" + mate + ".fq") + "' '" + file("pe_" + mate + ".fq") +
                        "' > '" + file("mixed_" + mate + ".fq") + "'"),
                  0);
    std::vector<std::string> arguments = request(file("mixed_1.fq"), file("mixed_2.fq"));
    arguments.insert(arguments.end(), {"--generateSupplementalMappings", "true", "--singleThreadAlignment",
                                       "true", "-v", "--reportFile", "report.html"});
    const CommandResult reported = runKoru(arguments, directory.path());
    ASSERT_EQ(reported.status, 0) << reported.standardError;
    EXPECT_NE(reported.standardOutput.find("Read Pair Mapping Statistics"), std::string::npos);

    // Mate pairs whose junction lies inside a read, by the truth in their names ("<position>j<position>"):
    // such a pair reads as facing away or, when a read's part beyond the junction is chosen, as a short
    // pair facing each other, the paired-end look that real mate-pair libraries have too.
    std::istringstream lines(readFile(file("mate_1.fq")));
    std::uint64_t junctionPairs = 0;
    for (std::string line; std::getline(lines, line);)
        junctionPairs +=
            line.starts_with("@sim:") && line.substr(0, line.find(' ')).find('j') != std::string::npos;
    ASSERT_GT(junctionPairs, 300u);
    ASSERT_LT(junctionPairs, 1100u);

    const std::string html = readFile(file("report.html"));
    EXPECT_EQ(row(html, "pairs"), 2000u);
    EXPECT_GE(row(html, "mapped"), 1900u);
    // Every paired-end pair faces inward and every mate pair without a junction read outward;
    // junction read pairs go either way, about half each.
    const std::uint64_t fr = orientationCell(html, "FR"), rf = orientationCell(html, "RF");
    EXPECT_GE(fr, 590u);
    EXPECT_LE(fr, 600 + junctionPairs);
    EXPECT_GE(rf, (1400 - junctionPairs) * 98 / 100);
    EXPECT_LE(rf, 1400u);
    EXPECT_NEAR(static_cast<double>(fr), 600 + junctionPairs / 2.0, 0.1 * static_cast<double>(junctionPairs));
    EXPECT_NEAR(static_cast<double>(orientationCell(html, "FR", " median")), 300, 10);
    // Mate-pair fragments are 2 to 5 kbase, uniformly.
    EXPECT_NEAR(static_cast<double>(orientationCell(html, "RF", " median")), 3500, 250);
    EXPECT_LE(orientationCell(html, "FF-RR"), 40u);
    // Nearly every mate pair spans its junction inside the stretch it was read from.
    const std::uint64_t split = cell(html, "<p class=\"note\">(\\d+) reads of the reported pairs were split");
    EXPECT_GT(split, 200u);
    EXPECT_LE(split, row(html, "junction-reads"));
    for (const char* plot :
         {"insert-FR", "insert-RF", "junction-position", "mapq-concordant", "mismatch-profile"})
        EXPECT_NE(html.find(std::string("data-plot=\"") + plot + "\""), std::string::npos) << plot;
}

TEST(LibraryReport, ReportFilesThatCannotBeWrittenAreRefusedBeforeMapping) {
    TemporaryDirectory directory;
    const std::vector<std::string> base =
        request(directory.write("r_1.fq", ""), directory.write("r_2.fq", ""));
    for (const std::string& report :
         {std::string("-"), directory.file("missing/report.html"), directory.path().string(),
          directory.file("r_1.fq"), std::string("out.sam")}) {
        SCOPED_TRACE(report);
        std::vector<std::string> arguments = base;
        arguments.insert(arguments.end(), {"--reportFile", report});
        const CommandResult result = runKoru(arguments, directory.path());
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.standardError.find("reportFile"), std::string::npos) << result.standardError;
        EXPECT_FALSE(std::filesystem::exists(directory.file("out.sam")));
    }
}

}  // namespace
}  // namespace koru::testing
