// Runs from the binary that meet what users really give it: reads with IUPAC codes and no-call
// marks, outputs that name an input, another output or a device, and runs refused once their
// outputs were named. A failing run never destroys an input or an earlier result.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <map>

#include "requests/lambda_requests.h"
#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// SEQ of a read: what is not A, C, G or T is N, reverse complemented for the reverse strand.
std::string expectedSeq(const std::string& read, bool reverse) {
    std::string seq;
    for (const char c : read) seq += std::string_view("ACGT").find(c) == std::string_view::npos ? 'N' : c;
    if (!reverse) return seq;
    std::string complement(seq.rbegin(), seq.rend());
    for (char& c : complement) c = "TGCAN"[std::string_view("ACGTN").find(c)];
    return complement;
}

// Reads with IUPAC codes and no-call marks, read B's from the reverse strand, which once ended the run.
TEST(UncalledLetters, FastqReadsOfBothStrandsAreMappedWithN) {
    TemporaryDirectory work;
    std::string fastq1, fastq2;
    for (std::uint32_t record = 0; record < 12; ++record) {
        const auto [a, b] = markedPair(record);
        const std::string name = "@p" + std::to_string(record) + "\n", quality = std::string(a.size(), 'I');
        fastq1 += name + a + "\n+\n" + quality + "\n";
        fastq2 += name + b + "\n+\n" + quality + "\n";
    }
    const CommandResult result =
        runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--read1FastqFileName",
                 work.write("1.fq", fastq1), "--read2FastqFileName", work.write("2.fq", fastq2),
                 "--samOutputFileName", work.file("out.sam")});
    ASSERT_EQ(result.status, 0) << result.standardError;
    const auto records = samRecords(readFile(work.file("out.sam")));
    ASSERT_EQ(records.size(), 24u);
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        const std::uint32_t record = i / 2;
        const bool readB = i % 2 == 1;
        const auto [a, b] = markedPair(record);
        EXPECT_EQ((std::stoul(records[i][1]) & 0x10) != 0, readB) << "read B comes from the reverse strand";
        // An N counts as a mismatch: one at the read's start is clipped, and POS is the first aligned base.
        const std::string& cigar = records[i][5];
        const std::size_t clip = cigar.find('S') < cigar.find('M') ? std::stoul(cigar) : 0;
        EXPECT_EQ(records[i][3],
                  std::to_string(cutPosition(0, record) + 1 + clip + (readB ? cutReadBOffset : 0)));
        EXPECT_EQ(records[i][9], expectedSeq(readB ? b : a, readB)) << "record " << record;
    }
}

// Directories a server could never serve are refused at the start (one removed while it runs is
// waited for: tests/requests/interactive_server_test.cpp).
TEST(ServerDirectories, UnusableOnesAreRefusedAtTheStart) {
    TemporaryDirectory work;
    const std::string input = work.file("in"), output = work.file("out");
    fs::create_directory(input);
    fs::create_directory(output);
    const auto refused = [&](const std::string& in, const std::string& out) {
        return runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--serverRequestInputDirectory",
                        in, "--serverRequestOutputDirectory", out, "--qmrOutputFileFormatVersion", "3"});
    };
    const CommandResult file = refused(work.write("a-file", ""), output);
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.standardError, "The directory \"" + work.file("a-file") +
                                      "\" (--serverRequestInputDirectory) is not a directory.\n");
    const CommandResult same = refused(input, output + "/../in/.");
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.standardError,
              "The request output directory \"" + output +
                  "/../in/.\" (--serverRequestOutputDirectory) is the request input directory \"" + input +
                  "\" (--serverRequestInputDirectory): results written there would be "
                  "taken for requests.\n");
}

std::string writeLambdaIndex(const TemporaryDirectory& work) {
    const std::string index = work.file("lambda.kix");
    EXPECT_EQ(runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", index}).status,
              0);
    return index;
}

// Runs writing one index file at once each write a file of their own and rename it into place:
// every run succeeds, the file left is whole, and no partial file stays behind.
TEST(IndexFileWriters, RunsWritingOneIndexFileAtOnceLeaveAWholeFile) {
    TemporaryDirectory work, errors;
    std::vector<int> writers;
    for (int run = 0; run < 4; ++run)
        writers.push_back(startKoru(
            {"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", work.file("same.kix")},
            "", "/dev/null", errors.file(std::to_string(run))));
    for (std::size_t run = 0; run < writers.size(); ++run) {
        int status = -1;
        ASSERT_EQ(waitpid(writers[run], &status, 0), writers[run]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << readFile(errors.file(std::to_string(run)));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path()), fs::directory_iterator()), 1)
        << "no partial file is left";
    const std::string pair =
        "@r\n" + lambdaChromosome().substr(1000, 100) + "\n+\n" + std::string(100, 'I') + "\n";
    const CommandResult loaded = runKoru(
        {"--indexFile", work.file("same.kix"), "--read1FastqFileName", work.write("1.fq", pair),
         "--read2FastqFileName", work.write("2.fq", pair), "--samOutputFileName", work.file("o.sam")});
    EXPECT_EQ(loaded.status, 0) << loaded.standardError;
}

// Every file of the work directory with a hash of its contents, to see that a refused run changed
// none.
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
    fs::create_symlink(read1, work.file("link.fq"));
    // The reference's options, the reads', and then the outputs'.
    const auto with = [&](const std::string& source, const std::string& file,
                          std::vector<std::string> outputs) {
        std::vector<std::string> arguments{
            source, file, "--read1FastqFileName", read1, "--read2FastqFileName", read2};
        arguments.insert(arguments.end(), outputs.begin(), outputs.end());
        return arguments;
    };
    const std::string fasta = "--referenceGenomeFastaFileName", dotted = work.path().string() + "/./g.fa";
    const struct {
        std::vector<std::string> arguments;
        std::string output, outputOption, other, otherOption;
    } cases[] = {
        {with(fasta, genome, {"--samOutputFileName", work.file("link.fq")}), work.file("link.fq"),
         "--samOutputFileName", read1, "--read1FastqFileName"},
        {with(fasta, genome, {"--qmrOutputFileName", dotted}), dotted, "--qmrOutputFileName", genome, fasta},
        {with("--indexFile", index, {"--samOutputFileName", index}), index, "--samOutputFileName", index,
         "--indexFile"},
        {{fasta, genome, "--writeIndexFile", genome}, genome, "--writeIndexFile", genome, fasta},
        {with(fasta, genome, {"--samOutputFileName", work.file("out.sam"), "-o", read2}), read2,
         "--standardOutputFileName", read2, "--read2FastqFileName"},
    };
    const auto before = filesOf(work);
    for (const auto& c : cases) {
        const CommandResult result = runKoru(c.arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standardError, "The output file \"" + c.output + "\" (" + c.outputOption +
                                            ") is the input file \"" + c.other + "\" (" + c.otherOption +
                                            "): writing it would destroy the input.\n");
    }
    const CommandResult twice =
        runKoru(with(fasta, genome, {"--samOutputFileName", "x.out", "--qmrOutputFileName", "./x.out"}),
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
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path()), fs::directory_iterator()), targets.size())
        << "no partial file is left";
}

TEST(RefusedOutputs, ARejectedRunLeavesEarlierResultsWhole) {
    TemporaryDirectory work;
    const std::string index = writeLambdaIndex(work);
    const std::string sam = work.write("earlier.sam", "an earlier SAM\n"),
                      qmr = work.write("earlier.qmr", "QMR\n"),
                      filters = work.write("filters", "1:10-20\n7:1-5\n");
    const std::vector<std::string> request{"--read1FastqFileName", work.write("1.fq", ""),
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
    EXPECT_EQ(readFile(sam), "an earlier SAM\n");
    EXPECT_EQ(readFile(qmr), "QMR\n");
    EXPECT_FALSE(fs::exists(work.file("missing")));
}

}  // namespace
}  // namespace koru::testing
