// The interactive server as a user meets it: the real binary started in the background on
// temporary directories, requests submitted with scripts/koru-request or written by hand, and the
// server stopped by a signal. Every wait is bounded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "requests/lambda_requests.h"
#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace fs = std::filesystem;

struct ClientResult {
    int status = -1;
    std::string printed, errors;
};

ClientResult submitWithClient(const TemporaryDirectory& work, const std::string& options,
                              const std::string& requestFile, const std::string& input,
                              const std::string& output) {
    const int status = shell("bash '" + std::string(KORU_SOURCE_DIR) + "/scripts/koru-request' -t 30 " +
                             options + " '" + requestFile + "' '" + input + "' '" + output + "' > '" +
                             work.file("client.out") + "' 2> '" + work.file("client.err") + "'");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(work.file("client.out")),
            readFile(work.file("client.err"))};
}

void expectRecordsOfCutPairs(const std::string& text, long records) {
    const auto lines = qmrLines(text);
    ASSERT_EQ(static_cast<long>(lines.size()), records) << text;
    for (long i = 0; i < records; ++i) {
        EXPECT_EQ(lines[i].line, i + 1);
        expectCutPlaces(lines[i]);
    }
}

class InteractiveServerRun : public ::testing::Test {
  protected:
    TemporaryDirectory work;
    std::string input = work.file("in"), output = work.file("out");
    std::unique_ptr<KoruProcess> server;

    void SetUp() override {
        fs::create_directory(input);
        fs::create_directory(output);
        server = std::make_unique<KoruProcess>(
            std::vector<std::string>{
                "--referenceGenomeFastaFileName", lambdaGenomeFile, "--serverRequestInputDirectory", input,
                "--serverRequestOutputDirectory", output, "--serverRequestCheckInterval", "0.002",
                "--qmrOutputFileFormatVersion", "3", "--samOutputFileName", "server.sam"},
            work.path().string());
        ASSERT_TRUE(server->ready()) << server->errors();
    }
    bool inInput(const std::string& name) const {
        return fs::symlink_status(input + "/" + name).type() != fs::file_type::not_found;
    }
    bool resultComplete(const std::string& name) const {
        return !inInput(name) && readFile(output + "/" + name).ends_with("END");
    }
};

TEST_F(InteractiveServerRun, ServesRequestsUntilStoppedBySignal) {
    // A request through the client, its result kept to be looked at.
    const ClientResult first =
        submitWithClient(work, "-k -n first.seq", work.write("first.seq", cutRecords(0, 20)), input, output);
    ASSERT_EQ(first.status, 0) << first.errors << server->errors();
    expectRecordsOfCutPairs(first.printed, 20);
    EXPECT_EQ(readFile(output + "/first.seq"), first.printed + "END");
    EXPECT_EQ(
        fs::status(output + "/first.seq").permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);
    EXPECT_FALSE(inInput("first.seq"));

    // A request written in two steps is left alone, listing after listing, until its END line arrives.
    std::ofstream(input + "/two.seq") << cutRecords(0, 5);
    ASSERT_TRUE(waitUntil([&] { return occurrences(server->output(), "Processing File \"two.seq\"") >= 3; }));
    EXPECT_TRUE(inInput("two.seq"));
    EXPECT_FALSE(fs::exists(output + "/two.seq"));
    std::ofstream(input + "/two.seq", std::ios::app) << "END\n";
    ASSERT_TRUE(waitUntil([&] { return resultComplete("two.seq"); }));
    expectRecordsOfCutPairs(readFile(output + "/two.seq"), 5);

    // A bad request is answered with its error, and the server goes on serving.
    const ClientResult bad =
        submitWithClient(work, "-k -n bad.seq", work.write("bad.seq", "1234 5678\n"), input, output);
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.errors, HasSubstr("its first line does not hold two runs of letters"));
    EXPECT_THAT(readFile(output + "/bad.seq"),
                StartsWith("#ERROR: The request \"bad.seq\" was not mapped: "));
    EXPECT_TRUE(readFile(output + "/bad.seq").ends_with(".\nEND"));
    const ClientResult next =
        submitWithClient(work, "", work.write("next.seq", cutRecords(0, 7)), input, output);
    ASSERT_EQ(next.status, 0) << next.errors;
    expectRecordsOfCutPairs(next.printed, 7);
    EXPECT_EQ(std::distance(fs::directory_iterator(output), fs::directory_iterator()), 3)
        << "the client removes a result it did not keep";

    // The run's SAM file: its header once, then every pair so far (their names: the in-process tests).
    const std::string sam = readFile(work.file("server.sam"));
    EXPECT_TRUE(sam.starts_with("@HD\t")) << sam.substr(0, 200);
    EXPECT_EQ(occurrences(sam, "@SQ\t"), 1u);
    EXPECT_EQ(samRecords(sam).size(), 2u * (20 + 5 + 7));

    const int status = server->stop();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST_F(InteractiveServerRun, PlantedLinksAreNotFollowed) {
    const std::string victim = work.write("victim.txt", "keep");
    fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::create_symlink(victim, output + "/planted.seq");
    std::ofstream(input + "/planted.seq") << cutRecords(0, 2) << "END\n";
    ASSERT_TRUE(waitUntil([&] { return !inInput("planted.seq"); }));
    EXPECT_EQ(readFile(victim), "keep");
    EXPECT_EQ(fs::status(victim).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_THAT(server->errors(), HasSubstr("a symbolic link has the result's name"));

    // A link as the request: refused, and what it points to is neither read nor removed.
    const std::string secret = work.write("secret.seq", cutRecords(0, 2) + "END\n");
    fs::create_symlink(secret, input + "/link.seq");
    ASSERT_TRUE(waitUntil([&] { return resultComplete("link.seq"); }));
    EXPECT_THAT(readFile(output + "/link.seq"),
                HasSubstr("it is a symbolic link, which the server does not follow"));
    EXPECT_EQ(readFile(secret), cutRecords(0, 2) + "END\n");
    EXPECT_TRUE(server->running());
}

// Four clients submit 250 requests each, one after another, as the client script does: written
// aside, moved into the input directory in one step, then waited for. Every request is answered
// once and the server outlives them all.
TEST_F(InteractiveServerRun, FourClientsOf250RequestsAreEachAnsweredOnce) {
    const std::string aside = work.file("aside");
    fs::create_directory(aside);
    constexpr int clients = 4, requests = 250;
    std::vector<int> answered(clients, 0);
    auto client = [&](int c) {
        for (int k = 0; k < requests; ++k) {
            // Every fifth request is outside the format; the others have names a shell or a careless
            // client would trip on.
            const std::string id = std::to_string(c) + "-" + std::to_string(k);
            const std::string names[] = {"bad" + id, "-c " + id + " $(x) ; \u00fcn\u00ef",
                                         "." + id + std::string(180, 'n'), "c" + id + ".seq"};
            const std::string name = names[std::min(k % 5, 3)], result = output + "/" + name;
            const bool good = k % 5 != 0;
            std::ofstream(aside + "/" + name, std::ios::binary)
                << (good ? cutRecords(0, 2) + "END\n" : "1234 5678\nEND\n");
            fs::rename(aside + "/" + name, input + "/" + name);
            if (!waitUntil([&] { return resultComplete(name); })) return;
            const std::string answer = readFile(result);
            answered[c] += (good ? qmrLines(answer).size() == 2 : answer.starts_with("#ERROR: ")) ? 1 : 0;
            fs::remove(result);
        }
    };
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) threads.emplace_back(client, c);
    for (std::thread& thread : threads) thread.join();
    for (int c = 0; c < clients; ++c) EXPECT_EQ(answered[c], requests) << "client " << c;
    EXPECT_TRUE(server->running()) << server->errors();
    EXPECT_TRUE(fs::is_empty(output)) << "no request is answered twice";
    EXPECT_TRUE(fs::is_empty(input));
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
    for (const QmrLine& line : qmrLines(readFile(work.file("out.qmr")))) {
        ++pairsPerFile[line.file];
        expectCutPlaces(line);
    }
    EXPECT_EQ(pairsPerFile, (std::map<long, long>{{1, 4}, {2, 4}}));
    EXPECT_THAT(result.standardOutput, HasSubstr("which is file 2 of 3"));
}

}  // namespace
}  // namespace koru::testing
