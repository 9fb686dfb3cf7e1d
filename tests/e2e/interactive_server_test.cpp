// The request server as users meet it: the binary in the background, scripts/koru-request, a signal to stop.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "requests/lambda_requests.h"
#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

void expectRecordsOfCutPairs(const std::string& text, long records) {
    const auto lines = qmrLines(text);
    ASSERT_EQ(static_cast<long>(lines.size()), records) << text;
    for (long i = 0; i < records; ++i) {
        EXPECT_EQ(lines[i].line, i + 1);
        expectCutPlaces(lines[i]);
    }
}

// Requests through the client and by hand, bad ones and planted links, until a signal stops the server.
TEST(InteractiveServerRun, ServesRequestsAndFollowsNoPlantedLinkUntilStoppedBySignal) {
    TemporaryDirectory work;
    const std::string input = work.file("in"), output = work.file("out");
    fs::create_directory(input);
    fs::create_directory(output);
    KoruProcess server({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--serverRequestInputDirectory",
                        input, "--serverRequestOutputDirectory", output, "--serverRequestCheckInterval",
                        "0.002", "--qmrOutputFileFormatVersion", "3", "--samOutputFileName", "server.sam"},
                       work.path().string());
    ASSERT_TRUE(server.ready()) << server.errors();
    const auto submit = [&](const std::string& options, const std::string& name, const std::string& text) {
        const int status =
            shell("bash '" + std::string(KORU_SOURCE_DIR) + "/scripts/koru-request' -t 30 " + options + " '" +
                  work.write(name, text) + "' '" + input + "' '" + output + "' > '" +
                  work.file("client.out") + "' 2> '" + work.file("client.err") + "'");
        return CommandResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(work.file("client.out")),
                             readFile(work.file("client.err"))};
    };
    const auto inInput = [&](const std::string& name) {
        return fs::symlink_status(input + "/" + name).type() != fs::file_type::not_found;
    };
    const auto resultComplete = [&](const std::string& name) {
        return !inInput(name) && readFile(output + "/" + name).ends_with("END");
    };
    // The client prints the result and removes it, unless told to keep it.
    const CommandResult first = submit("-n first.seq", "first.seq", cutRecords(0, 20));
    ASSERT_EQ(first.status, 0) << first.standardError << server.errors();
    expectRecordsOfCutPairs(first.standardOutput, 20);
    EXPECT_FALSE(fs::exists(output + "/first.seq"));
    // A request written in two steps is left alone, listing after listing, until its END line arrives.
    std::ofstream(input + "/two.seq") << cutRecords(0, 5);
    ASSERT_TRUE(waitUntil([&] { return occurrences(server.output(), "Processing File \"two.seq\"") >= 3; }));
    EXPECT_TRUE(inInput("two.seq") && !fs::exists(output + "/two.seq"));
    std::ofstream(input + "/two.seq", std::ios::app) << "END\n";
    ASSERT_TRUE(waitUntil([&] { return resultComplete("two.seq"); }));
    expectRecordsOfCutPairs(readFile(output + "/two.seq"), 5);
    // A bad request is answered with its error, and serving goes on (the links below).
    const CommandResult bad = submit("-k -n bad.seq", "bad.seq", "1234 5678\n");
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.standardError, HasSubstr("its first line does not hold two runs of letters"));
    EXPECT_THAT(readFile(output + "/bad.seq"), ::testing::StartsWith("#ERROR: ")) << "kept";
    // The run's SAM file: its header once, then every pair so far.
    const std::string sam = readFile(work.file("server.sam"));
    EXPECT_EQ(occurrences(sam, "@SQ\t"), 1u);
    EXPECT_EQ(samRecords(sam).size(), 2u * (20 + 5));
    // A link planted where the result goes is neither written through nor changed.
    const std::string victim = work.write("victim.txt", "keep");
    const auto permissions = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;
    fs::permissions(victim, permissions);
    fs::create_symlink(victim, output + "/planted.seq");
    std::ofstream(input + "/planted.seq") << cutRecords(0, 2) << "END\n";
    ASSERT_TRUE(waitUntil([&] { return !inInput("planted.seq"); }));
    EXPECT_EQ(readFile(victim), "keep");
    EXPECT_EQ(fs::status(victim).permissions(), permissions);
    EXPECT_THAT(server.errors(), HasSubstr("a symbolic link has the result's name"));
    // A link as the request: refused, and what it points to is neither read nor removed.
    const std::string secret = work.write("secret.seq", cutRecords(0, 2) + "END\n");
    fs::create_symlink(secret, input + "/link.seq");
    ASSERT_TRUE(waitUntil([&] { return resultComplete("link.seq"); }));
    EXPECT_THAT(readFile(output + "/link.seq"),
                HasSubstr("it is a symbolic link, which the server does not follow"));
    EXPECT_EQ(readFile(secret), cutRecords(0, 2) + "END\n");
    const int status = server.stop();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST(SequenceFileRun, MapsTheNumberedFilesOfADirectory) {
    TemporaryDirectory work;
    const std::string directory = work.file("files");
    fs::create_directory(directory);
    for (std::uint32_t number = 1; number <= 3; ++number)
        work.write("files/reads_" + std::to_string(number) + ".seq", cutRecords(number, 4));
    work.write("files/notes.txt", "not a sequence file\n");
    const CommandResult result =
        runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "-d", directory, "-T", "1",
                 "--sequenceFileStartNumber", "3", "--qmrOutputFileName", "out.qmr", "--reportFile",
                 "report.html", "--statisticsFileName", "statistics.tsv"},
                work.path().string());
    ASSERT_EQ(result.status, 0) << result.standardError;
    // The files' pairs are summed into one library report and one statistics table.
    EXPECT_THAT(readFile(work.file("report.html")),
                HasSubstr("data-row=\"pairs\"><th>Read pairs</th><td class=\"n\">8<"));
    EXPECT_THAT(readFile(work.file("statistics.tsv")), HasSubstr("\nreadPairsProcessed\t8\n"));
    std::map<long, long> pairsPerFile;
    for (const QmrLine& line : qmrLines(readFile(work.file("out.qmr")))) ++pairsPerFile[line.file];
    EXPECT_EQ(pairsPerFile, (std::map<long, long>{{1, 4}, {2, 4}}));
    EXPECT_THAT(result.standardOutput, HasSubstr("which is file 2 of 3"));
}

}  // namespace
}  // namespace koru::testing
