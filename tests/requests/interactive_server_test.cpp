// The request server in process; incomplete requests and planted links are left to tests/e2e.

#include "requests/interactive_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "requests/lambda_requests.h"

namespace koru {
namespace {

using ::testing::HasSubstr;
using namespace koru::testing;
namespace fs = std::filesystem;

class InteractiveServerTest : public ::testing::Test {
  protected:
    RequestParameters run;
    InteractiveServerState state;
    std::string input = run.directory.file("in");
    std::string output = run.directory.file("out");

    InteractiveServerTest() {
        fs::create_directory(input);
        fs::create_directory(output);
        auto& server = run.params.interactiveServerRequestParameters;
        server.isInteractiveServerRequest = true;
        server.requestInputDirectory = input;
        server.requestOutputDirectory = output;
        run.params.qmrOutputRequestParameters.isQmrOutputRequest = true;
    }

    void submit(const std::string& name, const std::string& text) {
        std::ofstream(input + "/" + name, std::ios::binary) << text;
    }
    RequestOutcome process(const std::string& name) {
        return processInteractiveRequest(run.params, *lambdaIndex().indexes, name, state);
    }
    std::uint32_t poll() { return pollInteractiveRequests(run.params, *lambdaIndex().indexes, state); }
    std::string result(const std::string& name) { return readFile(output + "/" + name); }
    bool inInput(const std::string& name) const {
        return fs::symlink_status(input + "/" + name).type() != fs::file_type::not_found;
    }
};

// A request at a path over 1023 characters is answered with its error, and removed.
TEST_F(InteractiveServerTest, RequestAtATooLongPathIsAnsweredWithAnError) {
    std::string deep = input;
    while (deep.size() < longestRequestPath - 4) deep += "/" + std::string(200, 'd');
    fs::create_directories(deep);
    std::ofstream(deep + "/long.seq") << cutRecords(0, 1) << "END\n";
    run.params.interactiveServerRequestParameters.requestInputDirectory = deep;
    const std::string message =
        "was not mapped: its path or the path of its result is longer than 1023 characters";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(process("long.seq"), RequestOutcome::answered);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("ERROR: The request \"" + deep + "/long.seq\" " + message));
    EXPECT_EQ(result("long.seq"), "#ERROR: The request \"long.seq\" " + message + ".\nEND");
    EXPECT_FALSE(fs::exists(deep + "/long.seq"));
}

TEST_F(InteractiveServerTest, CompleteRequestReplacesAnEarlierResultAndIsRemoved) {
    std::ofstream(output + "/pairs.seq") << "stale";
    fs::permissions(output + "/pairs.seq", fs::perms::all);
    submit("pairs.seq", cutRecords(0, 2) + "END\n");
    EXPECT_EQ(process("pairs.seq"), RequestOutcome::answered);
    const std::string text = result("pairs.seq");
    // Two records and the marker, without header lines or what was there before.
    EXPECT_EQ(qmrLines(text).size(), 2u);
    EXPECT_TRUE(text.ends_with("\nEND") && text.find('#') == std::string::npos &&
                text.find("stale") == std::string::npos)
        << text;
    EXPECT_EQ(
        fs::symlink_status(output + "/pairs.seq").permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);
    EXPECT_FALSE(inInput("pairs.seq"));
    EXPECT_THAT(run.report(), HasSubstr("Mapping time for \"" + input + "/pairs.seq\" request file"));
    // The marker alone, or a request without QMR output, gives a result of the marker.
    submit("empty.seq", "END\n");
    EXPECT_EQ(process("empty.seq"), RequestOutcome::answered);
    EXPECT_EQ(result("empty.seq"), "END");
    run.params.qmrOutputRequestParameters.isQmrOutputRequest = false;
    submit("pairs.seq", cutRecords(0, 2) + "END\n");
    EXPECT_EQ(process("pairs.seq"), RequestOutcome::answered);
    EXPECT_EQ(result("pairs.seq"), "END");
}

// Reads with IUPAC codes and no-call marks once ended the server; SAM shows them as N. SAM names of
// the reads stay apart across requests and are valid whatever the request's name.
TEST_F(InteractiveServerTest, RequestsOfUncalledLettersAreMappedAndSamNamesCarryTheRequestsName) {
    run.requestSam();
    std::string text;
    for (std::uint32_t record = 0; record < 12; ++record) {
        const auto [a, b] = markedPair(record);
        text += "0000 " + a + " " + b + "\n";
    }
    submit("a b@c.seq", text + "END\n");
    submit("d.seq", cutRecords(0, 1) + "END\n");
    EXPECT_EQ(process("a b@c.seq"), RequestOutcome::answered);
    EXPECT_EQ(process("d.seq"), RequestOutcome::answered);
    const auto lines = qmrLines(result("a b@c.seq"));
    EXPECT_EQ(lines.size(), 12u);
    for (const QmrLine& line : lines) expectCutPlaces(line);
    const auto sam = samRecords(run.sam());
    ASSERT_EQ(sam.size(), 26u);
    for (std::size_t i = 0; i < sam.size(); ++i) {
        EXPECT_EQ(sam[i][0], i < 24 ? "a_b_c.seq:" + std::to_string(i / 2) : "d.seq:0");
        EXPECT_EQ(sam[i][9].find_first_not_of("ACGTN"), std::string::npos) << sam[i][9];
    }
}

// Names a shell or a careless client would trip on, and hidden files, are requests like any other.
TEST_F(InteractiveServerTest, ListingAnswersFilesInNameOrderAndIgnoresDirectories) {
    const std::string odd[] = {"-c 1 $(x) ; \u00fcn\u00ef", "." + std::string(180, 'n')};
    for (const std::string& name : odd) submit(name, cutRecords(0, 1) + "END\n");
    submit("b.seq", cutRecords(1, 1) + "END\n");
    submit("a.seq", cutRecords(2, 1) + "END\n");
    submit("c.seq", cutRecords(3, 1));
    fs::create_directory(input + "/d.seq");
    EXPECT_EQ(poll(), 4u);
    for (const std::string& name : odd) EXPECT_EQ(qmrLines(result(name)).size(), 1u) << name;
    const std::string report = run.report();
    EXPECT_LT(report.find("\"a.seq\""), report.find("\"b.seq\""));
    EXPECT_LT(report.find("\"b.seq\""), report.find("\"c.seq\""));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("d.seq")));
    EXPECT_TRUE(inInput("c.seq"));
    EXPECT_EQ(poll(), 0u);
}

// An interval of 0 once made an idle server list its directory without pause, at 100 % of a processor.
TEST(InteractiveServerInterval, IsAtLeastAMillisecondAndAtMostADay) {
    using namespace std::chrono_literals;
    EXPECT_EQ((std::vector{serverCheckInterval(0), serverCheckInterval(0.01), serverCheckInterval(1e12)}),
              (std::vector<std::chrono::microseconds>{1ms, 10ms, 24h}));
}

// The output directory gone once ended the server; requests now wait for it, the outage told once.
TEST_F(InteractiveServerTest, RequestsWaitWhileTheOutputDirectoryIsGone) {
    fs::remove(output);
    submit("a.seq", cutRecords(2, 1) + "END\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(poll(), 0u);
    EXPECT_EQ(poll(), 0u);
    EXPECT_EQ(process("a.seq"), RequestOutcome::waiting) << "nor does a request handled alone get lost";
    EXPECT_TRUE(inInput("a.seq"));
    fs::create_directory(output);
    EXPECT_EQ(poll(), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ERROR: The request output directory \"" + output +
                  "\" cannot be used (No such file or directory); requests wait in the input directory until "
                  "it can.\nThe request output directory \"" +
                  output + "\" can be used again.\n");
    EXPECT_FALSE(inInput("a.seq"));
    EXPECT_TRUE(result("a.seq").ends_with("END"));
}

}  // namespace
}  // namespace koru
