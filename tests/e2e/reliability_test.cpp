// Runs that meet what users really do: outputs that name an input, another output or a device, unusable
// server directories, runs refused after their outputs were named. None destroys an input or earlier result.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <filesystem>
#include <functional>
#include <map>

#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Refused at the start; one removed while the server runs is waited for (tests/requests).
TEST(ServerDirectories, UnusableOnesAreRefusedAtTheStart) {
    TemporaryDirectory work;
    const std::string input = work.file("in"), output = work.file("out"), file = work.write("a-file", "");
    fs::create_directory(input);
    fs::create_directory(output);
    const std::string cases[][3] = {
        {file, output,
         "The directory \"" + file + "\" (--serverRequestInputDirectory) is not a directory.\n"},
        {input, output + "/../in/.",
         "The request output directory \"" + output +
             "/../in/.\" (--serverRequestOutputDirectory) is the request input directory \"" + input +
             "\" (--serverRequestInputDirectory): results written there would be taken for requests.\n"}};
    for (const auto& [in, out, message] : cases) {
        const CommandResult result =
            runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--serverRequestInputDirectory", in,
                     "--serverRequestOutputDirectory", out, "--qmrOutputFileFormatVersion", "3"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standardError, message);
    }
}

std::string writeLambdaIndex(const TemporaryDirectory& work) {
    const std::string index = work.file("lambda.kix");
    EXPECT_EQ(runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", index}).status,
              0);
    return index;
}

// Every file of the work directory with a hash of its contents.
std::map<std::string, std::size_t> filesOf(const TemporaryDirectory& work) {
    std::map<std::string, std::size_t> files;
    for (const auto& entry : fs::directory_iterator(work.path()))
        files[entry.path().filename().string()] = std::hash<std::string>{}(readFile(entry.path().string()));
    return files;
}

TEST(RefusedOutputs, AnOutputThatIsAnInputOrAnotherOutputIsRefusedBeforeAnythingIsWritten) {
    TemporaryDirectory work;
    const std::string index = writeLambdaIndex(work), genome = work.write("g.fa", readFile(lambdaGenomeFile));
    const std::string read1 = work.write("1.fq", "@r\nACGT\n+\nIIII\n"),
                      read2 = work.write("2.fq", "@r\nACGT\n+\nIIII\n");
    const std::string fasta = "--referenceGenomeFastaFileName", link = work.file("link.fq"),
                      dotted = work.path().string() + "/./g.fa";
    fs::create_symlink(read1, link);
    const auto request = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--read1FastqFileName", read1, "--read2FastqFileName", read2});
        return arguments;
    };
    // The run's arguments; the output and its option, the input it is and that one's option.
    const std::pair<std::vector<std::string>, std::array<std::string, 4>> cases[] = {
        {request({fasta, genome, "--samOutputFileName", link}),
         {link, "--samOutputFileName", read1, "--read1FastqFileName"}},
        {request({fasta, genome, "--qmrOutputFileName", dotted}),
         {dotted, "--qmrOutputFileName", genome, fasta}},
        {request({"--indexFile", index, "--samOutputFileName", index}),
         {index, "--samOutputFileName", index, "--indexFile"}},
        {{fasta, genome, "--writeIndexFile", genome}, {genome, "--writeIndexFile", genome, fasta}},
        {request({fasta, genome, "--samOutputFileName", work.file("out.sam"), "-o", read2}),
         {read2, "--standardOutputFileName", read2, "--read2FastqFileName"}},
    };
    const auto before = filesOf(work);
    for (const auto& [arguments, names] : cases) {
        const CommandResult result = runKoru(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standardError, "The output file \"" + names[0] + "\" (" + names[1] +
                                            ") is the input file \"" + names[2] + "\" (" + names[3] +
                                            "): writing it would destroy the input.\n");
    }
    const CommandResult twice =
        runKoru(request({fasta, genome, "--samOutputFileName", "x.out", "--qmrOutputFileName", "./x.out"}),
                work.path().string());
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.standardError,
              "The output file \"./x.out\" (--qmrOutputFileName) is also the output file \"x.out\" "
              "(--samOutputFileName): each output needs a file of its own.\n");
    EXPECT_EQ(filesOf(work), before);
}

TEST(RefusedOutputs, AnIndexFileReplacesOnlyARegularFile) {
    TemporaryDirectory work;
    const std::string fifo = work.file("fifo"), device = work.file("full"), folder = work.file("folder");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    std::vector<std::string> targets{fifo, folder};
    // A device node of its own (as /dev/full), where the test may make one: never the real device.
    if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0) targets.push_back(device);
    for (const std::string& target : targets) {
        const CommandResult result =
            runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", target});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standardError, "The index file \"" + target +
                                            "\" (--writeIndexFile) is not a regular file, and only a regular "
                                            "file is replaced by an index file.\n");
        EXPECT_THAT(result.standardOutput, ::testing::Not(HasSubstr("Generating Hash Tables")));
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(fs::is_character_file(device), targets.size() == 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path()), {}), std::ssize(targets))
        << "no partial file is left";
}

TEST(RefusedOutputs, ARejectedRunLeavesEarlierResultsWhole) {
    TemporaryDirectory work;
    const std::string index = writeLambdaIndex(work);
    const std::string sam = work.write("earlier.sam", "an earlier SAM\n"),
                      qmr = work.write("earlier.qmr", "QMR\n"),
                      filters = work.write("filters", "1:10-20\n7:1-5\n");
    const std::string read1 = work.write("1.fq", "");
    const std::vector<std::string> request{"--read1FastqFileName", read1,
                                           "--read2FastqFileName", work.write("2.fq", ""),
                                           "--samOutputFileName",  sam};
    const auto run = [&](std::vector<std::string> arguments, const std::string& qmrFile = {}) {
        arguments.insert(arguments.end(), request.begin(), request.end());
        arguments.insert(arguments.end(), {"--qmrOutputFileName", qmrFile.empty() ? qmr : qmrFile});
        return runKoru(arguments);
    };
    const struct {
        CommandResult result;
        std::string message;
    } cases[] = {
        {run({"--indexFile", index, "-i", "100"}),
         "was built with -i 32768 and -I 750, not with the -i 100 and -I 100"},
        {run({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--qmrOutputFileFormatVersion", "7"}),
         "The value \"7\" passed to the \"qmrOutputFileFormatVersion\" parameter is not a supported QMR "
         "format version: it must be 2 or 3.\n"},
        {run({"--referenceGenomeFastaFileName", lambdaGenomeFile, "-F", filters}),
         "ERROR: The candidate position filter on line 2 of \"" + filters +
             "\" names chromosome 7, which is not in the reference genome.\n"},
        {run({"--referenceGenomeFastaFileName", work.write("empty.fa", "")}), "has no sequence data"},
        {run({"--referenceGenomeFastaFileName", lambdaGenomeFile}, work.file("missing/out.qmr")),
         "The output file \"" + work.file("missing/out.qmr") +
             "\" (--qmrOutputFileName) cannot be written: No such file or directory.\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result.status, 1) << c.message;
        EXPECT_THAT(c.result.standardError, HasSubstr(c.message));
    }
    // An unwritable output is found before the index is built.
    EXPECT_THAT(cases[4].result.standardOutput, ::testing::Not(HasSubstr("Generating Hash Tables")));
    // A library report that cannot be written, or that is another of the run's files.
    for (const std::string& report :
         {std::string("-"), work.file("missing/report.html"), work.path().string(), read1, sam}) {
        const CommandResult result =
            run({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--reportFile", report});
        EXPECT_EQ(result.status, 1) << report;
        EXPECT_THAT(result.standardError, HasSubstr("reportFile"));
    }
    EXPECT_EQ(readFile(sam), "an earlier SAM\n");
    EXPECT_EQ(readFile(qmr), "QMR\n");
    EXPECT_FALSE(fs::exists(work.file("missing")));
}

}  // namespace
}  // namespace koru::testing
