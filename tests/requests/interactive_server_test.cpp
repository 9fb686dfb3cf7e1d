// The interactive server's handling of single requests, in process: complete, empty and bad
// requests, long paths and earlier results. Incomplete requests and planted symbolic links are
// checked on the real server in e2e/interactive_server_test.cpp.

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

// SAM names must stay apart across requests and be valid SAM names whatever the file's name.
TEST_F(InteractiveServerTest, SamNamesCarryTheRequestsName) {
    run.requestSam();
    submit("a b@c.seq", cutRecords(0, 2) + "END\n");
    submit("d.seq", cutRecords(0, 1) + "END\n");
    EXPECT_EQ(process("a b@c.seq"), RequestOutcome::answered);
    EXPECT_EQ(process("d.seq"), RequestOutcome::answered);
    std::vector<std::string> names;
    for (const auto& fields : samRecords(run.sam())) names.push_back(fields[0]);
    EXPECT_EQ(names, (std::vector<std::string>{"a_b_c.seq:0", "a_b_c.seq:0", "a_b_c.seq:1", "a_b_c.seq:1",
                                               "d.seq:0", "d.seq:0"}));
}

// A refused request, outside the format or at a path over 1023 characters, gets one "#ERROR: "
// line and the marker, and leaves the input directory.
TEST_F(InteractiveServerTest, BadRequestsAreAnsweredWithAnError) {
    std::string deep = input;
    while (deep.size() < longestRequestPath - 4) deep += "/" + std::string(200, 'd');
    fs::create_directories(deep);
    std::ofstream(deep + "/long.seq") << cutRecords(0, 1) << "END\n";
    submit("bad.seq", "1234 5678\nEND\n");
    const std::pair<std::string, std::string> requests[] = {
        {"bad.seq", "its first line does not hold two runs of letters (read A and read B)"},
        {"long.seq", "its path or the path of its result is longer than 1023 characters"}};
    for (const auto& [name, message] : requests) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(process(name), RequestOutcome::answered);
        EXPECT_THAT(
            ::testing::internal::GetCapturedStderr(),
            HasSubstr("ERROR: The request \"" + input + "/" + name + "\" was not mapped: " + message));
        EXPECT_EQ(result(name), "#ERROR: The request \"" + name + "\" was not mapped: " + message + ".\nEND");
        EXPECT_FALSE(inInput(name));
        run.params.interactiveServerRequestParameters.requestInputDirectory = input = deep;
    }
}

// A request's records and order are checked on the real server (e2e/interactive_server_test.cpp).
TEST_F(InteractiveServerTest, CompleteRequestReplacesAnEarlierResultAndIsRemoved) {
    std::ofstream(output + "/pairs.seq") << "stale";
    fs::permissions(output + "/pairs.seq", fs::perms::all);
    submit("pairs.seq", cutRecords(0, 2) + "END\n");
    EXPECT_EQ(process("pairs.seq"), RequestOutcome::answered);
    const std::string text = result("pairs.seq");
    EXPECT_TRUE(text.ends_with("\nEND")) << text;
    EXPECT_EQ(text.find('#'), std::string::npos) << "results carry no header lines";
    EXPECT_EQ(qmrLines(text).size(), 2u);
    EXPECT_THAT(text, ::testing::Not(HasSubstr("stale")));
    EXPECT_EQ(
        fs::symlink_status(output + "/pairs.seq").permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);
    EXPECT_FALSE(inInput("pairs.seq"));
    EXPECT_THAT(run.report(), HasSubstr("\n\n\nProcessing File \"pairs.seq\" \n"));
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

// Reads with IUPAC codes and no-call marks once ended the server, and again after every restart.
TEST_F(InteractiveServerTest, RequestOfUncalledLettersIsAnsweredWithItsPlaces) {
    std::string text;
    for (std::uint32_t record = 0; record < 12; ++record) {
        const auto [a, b] = markedPair(record);
        text += "0000 " + a + " " + b + "\n";
    }
    submit("marked.seq", text + "END\n");
    EXPECT_EQ(process("marked.seq"), RequestOutcome::answered);
    const auto lines = qmrLines(result("marked.seq"));
    EXPECT_EQ(lines.size(), 12u);
    for (const QmrLine& line : lines) expectCutPlaces(line);
}

TEST_F(InteractiveServerTest, ListingAnswersFilesInNameOrderAndIgnoresDirectories) {
    submit("b.seq", cutRecords(1, 1) + "END\n");
    submit("a.seq", cutRecords(2, 1) + "END\n");
    submit("c.seq", cutRecords(3, 1));
    fs::create_directory(input + "/d.seq");
    EXPECT_EQ(poll(), 2u);
    const std::string report = run.report();
    EXPECT_LT(report.find("\"a.seq\""), report.find("\"b.seq\""));
    EXPECT_LT(report.find("\"b.seq\""), report.find("\"c.seq\""));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("d.seq")));
    EXPECT_TRUE(inInput("c.seq"));
    EXPECT_TRUE(fs::is_directory(input + "/d.seq"));
    EXPECT_EQ(poll(), 0u);
}

// An interval of 0 once made an idle server list its directory without pause, at 100 % of a processor.
TEST(InteractiveServerInterval, IsAtLeastAMillisecondAndAtMostADay) {
    using std::chrono::microseconds;
    EXPECT_EQ(serverCheckInterval(0), microseconds(1000));
    EXPECT_EQ(serverCheckInterval(0.0004), microseconds(1000));
    EXPECT_EQ(serverCheckInterval(0.01), microseconds(10000));
    EXPECT_EQ(serverCheckInterval(1e12), microseconds(86400LL * 1000000));
}

// The output directory removed (while it is replaced, say) once ended the server; requests now
// wait in the input directory, the outage is reported once, and they are answered once it is back.
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
