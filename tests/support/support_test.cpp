// Support services: files, gzip, allocation, timers, errors, crash reports and the progress line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "support/allocation.h"
#include "support/diagnostics.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/locked_file.h"
#include "support/memory_mapped_file.h"
#include "support/progress_display.h"
#include "support/sorted_merge.h"
#include "support/synchronous_printing.h"
#include "support/timer.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using namespace std::chrono_literals;
using ::testing::ExitedWithCode;
using testing::gzipCompress;
using testing::readFile;
using testing::TemporaryDirectory;
using TimePoint = std::chrono::steady_clock::time_point;

// A full disk ends the run instead of it reporting success; death-test paths must not be random.
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
}

TEST(LockedFile, LinesOfDifferentThreadsNeverMix) {
    TemporaryDirectory directory;
    auto file = createLockedFile(directory.file("lines"), false, false);
#pragma omp parallel num_threads(4)
    for (int i = 0; i < 200; ++i)
        printSynchronous(*file, std::string(100, static_cast<char>('a' + omp_get_thread_num())), false,
                         false);
    file->close();
    const std::string lines = readFile(directory.file("lines"));
    ASSERT_EQ(lines.size(), 4 * 200 * 102u);
    for (std::size_t line = 0; line < lines.size(); line += 102)
        ASSERT_EQ(lines.substr(line, 102), std::string(100, lines[line]) + ".\n");
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

TEST(Files, MatchingUsesBasicSyntaxAndAPatternThatDoesNotCompileEndsTheRun) {
    TemporaryDirectory directory;
    for (const char* name : {"a.seq", "aa"}) directory.write(name, "");
    const std::string root = directory.path().string();
    EXPECT_EQ(getMatchingFileNames(root, "a\\{2\\}"), std::vector<std::string>{"aa"}) << "braces are escaped";
    EXPECT_EXIT(getMatchingFileNames(root, "a\\{"), ExitedWithCode(1),
                "^Could not compile \"a\\\\\\{\" regular expression.\n$");
}

// Symbolic links and dots in names that exist: tests/e2e/reliability_test.cpp.
TEST(Files, SameFileThroughLinksAndDotsButNeverADevice) {
    TemporaryDirectory directory;
    const std::string file = directory.write("a.fq", "@r\n"), root = directory.path().string();
    std::filesystem::create_hard_link(file, root + "/hard.fq");
    std::filesystem::create_directory(root + "/sub");
    EXPECT_TRUE(namesSameFile(file, root + "/hard.fq"));
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

// A hook that returns instead of throwing does not stop the error, which still ends the process.
TEST(ErrorHookDeathTest, SeesTheWholeMessageAndIfItReturnsTheErrorEndsTheRun) {
    EXPECT_EXIT(
        {
            setErrorHook([](std::string_view message) {
                std::fprintf(stderr, "hook saw: %.*s", static_cast<int>(message.size()), message.data());
            });
            exitWithErrorFormat("The file \"%s\" is %d bytes short.\n", "x.fa", 7);
        },
        ExitedWithCode(1),
        "^hook saw: The file \"x.fa\" is 7 bytes short.\nThe file \"x.fa\" is 7 bytes short.\n$");
}

TEST(Diagnostics, CrashHandlerPrintsTheSignalAndEndsWithStatusOne) {
    EXPECT_EXIT((installCrashHandler(), std::raise(SIGSEGV)), ExitedWithCode(1), "^Error: signal 11:\n");
    // A bus error outside every mapped file.
    EXPECT_EXIT((installCrashHandler(), std::raise(SIGBUS)), ExitedWithCode(1), "^Error: signal 7:\n");
}

// Recognised by content; a small last member's trailer says little about the whole, so the buffer grows.
TEST(GzipFile, EveryMemberIsReadAndTheContentsAreTheDecompressedData) {
    TemporaryDirectory directory;
    std::string first, second = "the end\n";
    for (int line = 0; line < 200000; ++line) first += "ACGTACGGTTCA line " + std::to_string(line) + "\n";
    const auto file = createMemoryMappedFile(
        directory.write("joined.fa", gzipCompress(first) + gzipCompress("") + gzipCompress(second)));
    EXPECT_EQ(file->size, static_cast<std::int64_t>(first.size() + second.size()));
    EXPECT_TRUE(file->text() == first + second);
    EXPECT_EQ(file->contents[first.size() + second.size()], '\0');
    EXPECT_EQ(createMemoryMappedFile(directory.write("plain.gz", ">a\nACGT\n"))->text(), ">a\nACGT\n");
    EXPECT_EQ(createMemoryMappedFile(directory.write("empty.gz", gzipCompress("")))->size, 0);
    EXPECT_EQ(createMemoryMappedFile(directory.write("one.gz", gzipCompress("\x1f")))->text(), "\x1f");
}

TEST(GzipFile, CorruptDataEndsTheRun) {
    // Death tests run again in a child process: each writes its own file there.
    const auto readCorrupted = [](const std::function<void(std::string&)>& corrupt) {
        TemporaryDirectory directory;
        std::string bytes = gzipCompress(std::string(4000, 'A') + "ACGTACGGTTCA\n");
        corrupt(bytes);
        createMemoryMappedFile(directory.write("bad.gz", bytes));
    };
    const struct {
        std::function<void(std::string&)> corrupt;
        const char* message;
    } cases[] = {
        {[](std::string& b) { b.resize(b.size() / 2); },
         "^ERROR: The gzip file \".*/bad.gz\" could not be decompressed: it ends in the middle of the "
         "compressed stream.\n$"},
        // A trailer without its last byte.
        {[](std::string& b) { b.resize(b.size() - 1); }, "it ends in the middle of the compressed stream"},
        {[](std::string& b) { b[b.size() - 6] ^= 1; }, "could not be decompressed: incorrect data check.\n$"},
        {[](std::string& b) { b += "trailing"; },
         "could not be decompressed: it has data after the end of the compressed stream.\n$"},
        {[](std::string& b) { b[12] = static_cast<char>(0xFF); }, "could not be decompressed: .+\\.\n$"},
    };
    for (const auto& c : cases) EXPECT_EXIT(readCorrupted(c.corrupt), ExitedWithCode(1), c.message);
}

TEST(SortedMerge, MergingFromTheBackGivesTheOrderedUnionAtEveryInterleaving) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 300; ++trial) {
        // Empty sides, one side wholly below the other, and runs interleaved at random.
        // A long list takes few added entries as runs moved whole.
        std::vector<std::uint32_t> list(random() % (trial % 2 ? 12 : 200)), added(random() % 12);
        const std::uint32_t spread = trial % 3 == 0 ? 1000 : 40;
        for (auto& value : list) value = random() % spread;
        for (auto& value : added) value = (trial % 5 == 0 ? spread : 0) + random() % spread;
        std::sort(list.begin(), list.end());
        std::sort(added.begin(), added.end());
        std::vector<std::uint32_t> expected;
        std::merge(list.begin(), list.end(), added.begin(), added.end(), std::back_inserter(expected));
        mergeSortedFromTheBack(list, added);
        ASSERT_EQ(list, expected) << "trial " << trial;
    }
}

TEST(ProgressFormat, DurationsThousandsAndShares) {
    EXPECT_EQ(
        std::vector({formatProgressDuration(0.4), formatProgressDuration(59.4), formatProgressDuration(60),
                     formatProgressDuration(3599), formatProgressDuration(3600),
                     formatProgressDuration(7409)}),
        std::vector<std::string>({"0 s", "59 s", "1 min 00 s", "59 min 59 s", "1 h 00 min", "2 h 03 min"}));
    EXPECT_EQ(std::vector({formatThousands(0), formatThousands(999), formatThousands(1000),
                           formatThousands(1234567)}),
              std::vector<std::string>({"0", "999", "1,000", "1,234,567"}));
    EXPECT_EQ(formatMappingProgress(12000, 4, std::nullopt), "Mapped 12,000 pairs, 3,000 pairs/s");
    // A quarter in 30 s: 90 s left.
    EXPECT_EQ(formatMappingProgress(5000, 30, 0.25),
              "Mapped 5,000 pairs, 167 pairs/s, 25.0% done, 1 min 30 s left");
    // Nothing done yet tells no time left; the input read ahead never shows more than all of it.
    EXPECT_EQ(formatMappingProgress(0, 0, 0.0), "Mapped 0 pairs, 0 pairs/s, 0.0% done");
    EXPECT_EQ(formatMappingProgress(10, 2, 1.3), "Mapped 10 pairs, 5 pairs/s, 100.0% done, 0 s left");
}

// A late caller resets the interval from its own time.
TEST(RateLimiter, AtMostOnceAnIntervalCountedFromTheLastUpdate) {
    const TimePoint start{};
    RateLimiter limiter(1s, start);
    std::vector<bool> due;
    for (const auto after : {0ms, 999ms, 1000ms, 1000ms, 1999ms, 2500ms, 3400ms, 3500ms})
        due.push_back(limiter.due(start + after));
    EXPECT_EQ(due, std::vector<bool>({false, false, true, false, false, true, false, true}));
}

// A stream in memory, read back whole.
struct MemoryStream {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    ~MemoryStream() {
        std::fclose(stream);
        std::free(buffer);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(buffer, size);
    }
};

TEST(MappingProgress, DrawsAtMostOnceASecondAndShowsTheShareRead) {
    MemoryStream terminal;
    ProgressLine line(terminal.stream, true);
    TimePoint now{};
    std::uint64_t bytesRead = 0;
    MappingProgress progress(
        &line, 1000, [&] { return bytesRead; }, [&] { return now; });
    for (int pair = 0; pair < 500; ++pair) progress.pairMapped();
    EXPECT_EQ(terminal.text(), "");
    now += 1s;
    bytesRead = 250;
    for (int pair = 0; pair < 500; ++pair) progress.pairMapped();
    EXPECT_EQ(terminal.text(), "\rMapped 501 pairs, 501 pairs/s, 25.0% done, 3 s left\033[K");
    now += 1s;
    progress.pairMapped();
    EXPECT_EQ(terminal.text().substr(terminal.text().rfind('\r')),
              "\rMapped 1,001 pairs, 501 pairs/s, 25.0% done, 6 s left\033[K");
}

// On a terminal, reports clear the line before they write; elsewhere each update is a line.
TEST(ProgressLine, ReportsClearTheLineOnATerminalAndElsewhereEachUpdateIsALine) {
    MemoryStream terminal, log;
    LockedFile reports(terminal.stream, "reports", "w", true);  // not closed: the test owns the stream
    ProgressLine line(terminal.stream, true, &reports), logLine(log.stream, false);
    reports.setBeforeWrite([&] { line.clear(); });
    line.show("Index: Generating Hash Tables ...");
    reports.writeUnderLock("Elapsed time\n", true);
    line.show("Mapped 1 pairs");
    reports.writeUnderLock("Total\n", true);
    reports.writeUnderLock("More\n", true);  // nothing left to clear
    EXPECT_EQ(terminal.text(),
              "\rIndex: Generating Hash Tables ...\033[K\r\033[KElapsed time\n\rMapped 1 "
              "pairs\033[K\r\033[KTotal\nMore\n");
    logLine.show("Mapped 1 pairs");
    logLine.clear();
    logLine.show("Mapped 2 pairs");
    EXPECT_EQ(log.text(), "Mapped 1 pairs\nMapped 2 pairs\n");
}

}  // namespace
}  // namespace koru
