// Support services: the cases that could really break.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/allocation.h"
#include "support/diagnostics.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/locked_file.h"
#include "support/memory_mapped_file.h"
#include "support/synchronous_printing.h"
#include "support/timer.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::readFile;
using testing::TemporaryDirectory;

// A full disk ends the run instead of the run reporting success. Death tests run again in a child
// process, so the paths must not be random.
TEST(LockedFile, MissingFilesAndAFullDiskEndTheRun) {
    EXPECT_EXIT(createLockedFile("/nonexistent-koru/missing", true, false), ExitedWithCode(1),
                "^The file \"/nonexistent-koru/missing\" does not exist.\n$");
    EXPECT_EXIT(createLockedFile("", true, false), ExitedWithCode(1),
                "^The file was given an empty name.\n$");
    EXPECT_EXIT(createLockedFile("/nonexistent-koru/out", false, false), ExitedWithCode(1),
                "^Could not open the file \"/nonexistent-koru/out\": No such file or directory.\n$");
    EXPECT_EXIT(
        {
            auto file = createLockedFile("/dev/full", false, false);
            file->write(std::string(1 << 16, 'x'));
            file->close();
        },
        ExitedWithCode(1), "^Could not write to the file \"/dev/full\": No space left on device.\n$");
}

TEST(LockedFile, ReleasingTheStandardOutputFileLeavesStandardOutputOpen) {
    createLockedFileForStdout()->close();
    EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
    EXPECT_GE(std::fputs("", stdout), 0);
}

TEST(LockedFile, LinesOfDifferentThreadsNeverMix) {
    TemporaryDirectory directory;
    auto file = createLockedFile(directory.file("lines"), false, false);
#pragma omp parallel num_threads(4)
    for (int i = 0; i < 200; ++i)
        printSynchronous(*file, std::string(100, static_cast<char>('a' + omp_get_thread_num())), false,
                         false);
    file->close();
    std::istringstream lines(readFile(directory.file("lines")));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        ASSERT_EQ(line, std::string(100, line[0]) + ".");
    EXPECT_EQ(count, 4 * 200);
}

// The message once claimed that koru needs 128 GB; it now gives what the run computed it needs.
TEST(Allocation, ExhaustedMemoryEndsTheRunWithWhatTheRunNeeds) {
    const std::string expected = "^The host could not provide the memory koru asked for\\.\n$";
    EXPECT_EXIT(callocExitIfNull(std::size_t{1} << 62, 16), ExitedWithCode(1), expected);
    EXPECT_EXIT(
        (describeMemoryNeed("indexing the genome in \"g.fa\" at --indexSamplingStep 1 needs about 2.3 GiB"),
         callocExitIfNull(std::size_t{1} << 62, 16)),
        ExitedWithCode(1),
        "^The host could not provide the memory koru asked for: indexing the genome in \"g\\.fa\" at "
        "--indexSamplingStep 1 needs about 2\\.3 GiB\\.\n$");
#ifndef KORU_SANITIZE
    EXPECT_EXIT(
        {
            installAllocationFailureHandler();
            std::vector<char> huge;
            huge.reserve(std::size_t{1} << 60);
        },
        ExitedWithCode(1), expected);
#endif
}

TEST(Files, MatchingListsInNameOrderWithBasicSyntax) {
    TemporaryDirectory directory;
    for (const char* name : {"b.seq", "a.seq", "c.txt", "aa"}) directory.write(name, "");
    const std::string root = directory.path().string();
    EXPECT_EQ(getMatchingFileNames(root, ".*.seq$"), (std::vector<std::string>{"a.seq", "b.seq"}));
    EXPECT_EQ(getMatchingFileNames(root, "a\\{2\\}"), std::vector<std::string>{"aa"}) << "braces are escaped";
    EXPECT_EXIT(getMatchingFileNames(root, "a\\{"), ExitedWithCode(1),
                "^Could not compile \"a\\\\\\{\" regular expression.\n$");
}

TEST(Files, SameFileThroughLinksAndDotsButNeverADevice) {
    TemporaryDirectory directory;
    const std::string file = directory.write("a.fq", "@r\n"), root = directory.path().string();
    std::filesystem::create_symlink(file, directory.file("link.fq"));
    std::filesystem::create_hard_link(file, directory.file("hard.fq"));
    std::filesystem::create_directory(directory.file("sub"));
    for (const std::string& other :
         {directory.file("link.fq"), directory.file("hard.fq"), root + "/sub/../a.fq"})
        EXPECT_TRUE(namesSameFile(file, other)) << other;
    EXPECT_TRUE(namesSameFile(root + "/new.sam", root + "/sub/../new.sam")) << "neither exists yet";
    EXPECT_FALSE(namesSameFile(root + "/new.sam", root + "/new.qmr"));
    EXPECT_FALSE(namesSameFile(file, root + "/new.sam")) << "one exists, the other does not";
    EXPECT_FALSE(namesSameFile(file, directory.write("b.fq", "@r\n"))) << "same contents, other file";
    EXPECT_FALSE(namesSameFile("/dev/null", "/dev/null"));
}

TEST(Files, UnwritableFilesAreFoundWithoutTouchingThem) {
    TemporaryDirectory directory;
    const std::string earlier = directory.write("earlier.sam", "kept");
    EXPECT_EQ(whyFileCannotBeWritten(earlier), "");
    EXPECT_EQ(readFile(earlier), "kept");
    EXPECT_EQ(whyFileCannotBeWritten(directory.file("new.sam")), "");
    EXPECT_FALSE(std::filesystem::exists(directory.file("new.sam"))) << "the trial file is removed";
    EXPECT_EQ(whyFileCannotBeWritten(directory.file("missing/new.sam")), "No such file or directory");
    EXPECT_EQ(whyFileCannotBeWritten(earlier + "/new.sam"), "Not a directory");
    EXPECT_EQ(whyFileCannotBeWritten(directory.path().string()), "it is a directory");
    EXPECT_EQ(whyFileCannotBeWritten("/dev/null"), "");
    if (geteuid() == 0) return;  // permissions do not stop root
    std::filesystem::permissions(earlier, std::filesystem::perms::owner_read);
    EXPECT_EQ(whyFileCannotBeWritten(earlier), "Permission denied");
}

TEST(Files, AnUnfinishedFileIsRemovedWhenTheRunFailsAndKeptOnceComplete) {
    // Death tests run again in a child process: the child makes the file, at a fixed path.
    const auto unfinished = [](const std::string& path) {
        std::ofstream(path) << "half";
        removeIfRunFails(path);
    };
    const std::string failed = "/tmp/koru-support-test-failed", killed = "/tmp/koru-support-test-killed",
                      kept = "/tmp/koru-support-test-kept";
    EXPECT_EXIT((unfinished(failed), exitWithError("failed\n")), ExitedWithCode(1), "^failed\n$");
    EXPECT_EXIT((unfinished(killed), std::raise(SIGTERM)), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT((unfinished(kept), keepFileWhenRunFails(), exitWithError("")), ExitedWithCode(1), "");
    EXPECT_FALSE(std::filesystem::exists(failed));
    EXPECT_FALSE(std::filesystem::exists(killed));
    EXPECT_EQ(readFile(kept), "half");
    std::filesystem::remove(kept);
}

TEST(Timer, ReportLineGivesWholeSecondsAndProcessorTime) {
    Timer timer = startTimer("Reading in Reference Genome");
    timer.wallStop = timer.wallStart + 1234;
    timer.processorStop = timer.processorStart + CLOCKS_PER_SEC / 2;
    EXPECT_EQ(timerReportLine(timer),
              "Elapsed time for \"Reading in Reference Genome\": Wall time =       1234, CPU time = 0.5\n");
}

TEST(Diagnostics, CrashHandlerPrintsTheSignalAndEndsWithStatusOne) {
    EXPECT_EXIT((installCrashHandler(), std::raise(SIGSEGV)), ExitedWithCode(1), "^Error: signal 11:\n");
    // A bus error outside every mapped file.
    EXPECT_EXIT((installCrashHandler(), std::raise(SIGBUS)), ExitedWithCode(1), "^Error: signal 7:\n");
}

// A file written over in place (cp onto it) shrinks under its mapping: a run reading it once ended
// with a bare "Error: signal 7".
TEST(Diagnostics, ABusErrorInAMappedFileSaysTheFileChangedUnderTheRun) {
    const std::string path = "/tmp/koru-support-test-mapped";
    EXPECT_EXIT(
        {
            installCrashHandler();
            std::ofstream(path) << std::string(3 * 4096, 'A');
            const auto file = createMemoryMappedFile(path);
            std::filesystem::resize_file(path, 0);
            std::printf("%c", file->contents[4096 + 7]);
        },
        ExitedWithCode(1),
        "^ERROR: The file \"" + path +
            "\" changed or shrank while koru was using it; replace such a file by renaming a new one into "
            "its "
            "place, never by writing over it.\n$");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace koru
