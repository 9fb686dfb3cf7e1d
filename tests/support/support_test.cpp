// Support services: the cases that could really break.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <sstream>

#include "support/allocation.h"
#include "support/diagnostics.h"
#include "support/files.h"
#include "support/locked_file.h"
#include "support/memory_blocks.h"
#include "support/memory_mapped_file.h"
#include "support/process_information.h"
#include "support/synchronous_printing.h"
#include "support/timer.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::readFile;
using testing::TemporaryDirectory;

TEST(LockedFile, WritesAreCheckedAndReachTheFile) {
    TemporaryDirectory directory;
    const std::string path = directory.file("out.txt");
    auto file = createLockedFile(path, false, false);
    EXPECT_EQ(file->accessMode(), "w");
    file->writeUnderLock("one\n");
    file->write("two\n");
    file->close();
    EXPECT_EQ(readFile(path), "one\ntwo\n");
    EXPECT_EQ(createLockedFile(path, true, true)->accessMode(), "rb");
}

TEST(LockedFile, AFullDiskEndsTheRunInsteadOfReportingSuccess) {
    EXPECT_EXIT(
        {
            auto file = createLockedFile("/dev/full", false, false);
            file->write(std::string(1 << 16, 'x'));
            file->close();
        },
        ExitedWithCode(1), "^Could not write to the file \"/dev/full\": No space left on device.\n$");
}

TEST(LockedFile, FilesToReadMustExist) {
    // Death tests run again in a child process, so the paths must not be random.
    EXPECT_EXIT(createLockedFile("/nonexistent-koru/missing", true, false), ExitedWithCode(1),
                "^The file name passed to createLockedFile \"/nonexistent-koru/missing\" does not exist.\n$");
    EXPECT_EXIT(createLockedFile("", true, false), ExitedWithCode(1),
                "^The file name passed to createLockedFile name was null or an empty string.\n$");
    EXPECT_EXIT(createLockedFile("/nonexistent-koru/out", false, false), ExitedWithCode(1),
                "^The provided file, /nonexistent-koru/out, does not exist or cannot be opened.$");
}

TEST(LockedFile, ReleasingTheStandardOutputFileLeavesStandardOutputOpen) {
    {
        auto file = createLockedFileForStdout();
        EXPECT_EQ(file->fileName(), "stdout");
        file->close();
    }
    EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
    EXPECT_GE(std::fputs("", stdout), 0);
}

TEST(LockedFile, DescriptionNamesFileAndMode) {
    auto file = createLockedFileForStdout();
    EXPECT_EQ(lockedFileToString(file.get(), "\t"),
              "\tLocked File: \n\t\tFile Name = stdout \n\t\tFile access mode = w \n");
}

TEST(LockedFile, LinesOfDifferentThreadsNeverMix) {
    TemporaryDirectory directory;
    const std::string path = directory.file("lines");
    {
        auto file = createLockedFile(path, false, false);
#pragma omp parallel num_threads(4)
        for (int i = 0; i < 200; ++i)
            printSynchronous(*file, std::string(100, static_cast<char>('a' + omp_get_thread_num())), false,
                             false);
        file->close();
    }
    std::istringstream lines(readFile(path));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_EQ(line.size(), 101u);
        EXPECT_EQ(line.find_first_not_of(line[0]), 100u) << line;
    }
    EXPECT_EQ(count, 4 * 200);
}

TEST(SynchronousPrinting, ThreadPrefixNamesThreadAndRegionSize) {
    TemporaryDirectory directory;
    const std::string path = directory.file("out");
    {
        auto file = createLockedFile(path, false, false);
        printSynchronous(*file, "plain", false, false);
        printThreadWithMessage(*file, " XOR count array creation");
        file->close();
    }
    EXPECT_EQ(readFile(path), "plain.\nThread 0 of 1 is executing/processing  XOR count array creation.\n");
    EXPECT_EQ(openMPEnvironmentInfoToString().rfind(
                  "\nOpen MP Environment:\n\tNumber of processors available = ", 0),
              0u);
}

struct PoolRecord {
    std::uint64_t value[3];
};

TEST(MemoryBlocks, HandsOutZeroedRecordsAndGrowsByWholeBlocks) {
    MemoryBlocks<PoolRecord> pool(0);
    EXPECT_EQ(pool.recordsPerBlock(), 4096u);
    std::vector<PoolRecord*> records;
    for (int i = 0; i < 4096; ++i) {
        records.push_back(pool.getFreeRecordFromMemoryBlocks());
        EXPECT_EQ(records.back()->value[0] | records.back()->value[2], 0u);
        records.back()->value[0] = static_cast<std::uint64_t>(i) + 1;
    }
    EXPECT_EQ(pool.numberOfBlocks(), 1u);
    EXPECT_FALSE(areFreeRecordsAvailable(pool.newestBlock()));
    PoolRecord* first = pool.getFreeRecordFromMemoryBlocks();
    EXPECT_EQ(pool.numberOfBlocks(), 2u);
    EXPECT_EQ(first, &pool.newestBlock().records[0]);
    // Records of the first block stay where they were and keep their values.
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(records[static_cast<std::size_t>(i)]->value[0], static_cast<std::uint64_t>(i) + 1);
}

TEST(MemoryBlocks, ExplicitBlockSizes) {
    MemoryBlocks<PoolRecord> pool(2);
    pool.getFreeRecordFromMemoryBlocks();
    pool.getFreeRecordFromMemoryBlocks();
    pool.addMemoryBlock(5);
    EXPECT_EQ(pool.newestBlock().capacity, 5u);
    for (int i = 0; i < 6; ++i) pool.getFreeRecordFromMemoryBlocks();
    EXPECT_EQ(pool.numberOfBlocks(), 3u) << "the sixth record opens a block of the pool's own size";
    EXPECT_EQ(pool.newestBlock().capacity, 2u);
}

TEST(Allocation, TerminatedAllocationsAreZeroed) {
    CArray<char> text(static_cast<char*>(callocAndTerminate(0, 1)));
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[1], 0);
    CArray<std::uint32_t> words(static_cast<std::uint32_t*>(callocAndTerminate(3, 4)));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(words[static_cast<std::size_t>(i)], 0u);
    EXPECT_EQ(allocateZeroedArray<std::uint16_t>(1000)[999], 0u);
}

TEST(Allocation, ExhaustedMemoryEndsTheRunWithTheFixedMessage) {
    const std::string expected = std::string("^") +
                                 "The host was not able to fulfill a memory allocation request\\." +
                                 ".*degradation\\)\\.$";
    EXPECT_EXIT(callocExitIfNull(std::size_t{1} << 62, 16), ExitedWithCode(1), expected);
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

TEST(Files, NameChecksPrintTheLabelFirst) {
    TemporaryDirectory directory;
    // An empty name is reported as such even when a file of the label's name exists.
    directory.write("Label", "");
    ASSERT_EQ(chdir(directory.path().c_str()), 0);
    EXPECT_EXIT(errorIfFileDoesNotExistOrNotAccessible("", R_OK, "Label"), ExitedWithCode(1),
                "^Label name was null or an empty string.\n$");
    EXPECT_EXIT(errorIfFileDoesNotExistOrNotAccessible("nothing", R_OK, "Label"), ExitedWithCode(1),
                "^Label \"nothing\" does not exist.\n$");
    errorIfFileDoesNotExistOrNotAccessible("Label", R_OK, "Label");
    EXPECT_EXIT(errorIfFileHandleProvidedToMethodIsNull(nullptr, "serializeGenomeToFile"), ExitedWithCode(1),
                "^A null file handle was provided to the \"serializeGenomeToFile\" function$");
    ASSERT_EQ(chdir("/"), 0);
}

TEST(Files, MatchingCountsEveryEntryAndListsInNameOrder) {
    TemporaryDirectory directory;
    for (const char* name : {"b.seq", "a.seq", "c.txt"}) directory.write(name, "");
    const std::string root = directory.path().string();
    EXPECT_EQ(getNumberOfMatchingFiles(root, ".*.seq$"), 2u);
    EXPECT_EQ(getNumberOfMatchingFiles(root, "^\\."), 2u) << "\".\" and \"..\" are entries too";
    EXPECT_EQ(getMatchingFileNames(root, ".*.seq$"), (std::vector<std::string>{"a.seq", "b.seq"}));
    EXPECT_EQ(getNumberOfMatchingFiles(root, "a\\{2\\}"), 0u) << "basic syntax: braces are escaped";
    EXPECT_EXIT(getNumberOfMatchingFiles(root, "a\\{"), ExitedWithCode(1),
                "^Could not compile \"a\\\\\\{\" regular expression.\n$");
}

TEST(MemoryMappedFile, HoldsTheWholeFileAndATerminator) {
    TemporaryDirectory directory;
    const auto file = createMemoryMappedFile(directory.write("f", "one\ntwo\nthree"));
    EXPECT_EQ(file->size, 13);
    EXPECT_EQ(file->text(), "one\ntwo\nthree");
    EXPECT_EQ(file->contents[13], '\0');
    EXPECT_EQ(getNumberOfLines(*file), 2u) << "a last line without a line feed is not counted";
    EXPECT_EQ(createMemoryMappedFile(directory.write("empty", ""))->size, 0);
    EXPECT_EXIT(createMemoryMappedFile(directory.file("none")), ExitedWithCode(1),
                "^The file name passed to createMemoryMappedFile \".*none\" does not exist.\n$");
}

TEST(Timer, ReportLineGivesWholeSecondsAndProcessorTime) {
    Timer timer = startTimer("Reading in Reference Genome");
    stopTimer(timer);
    timer.wallStop = timer.wallStart;  // stopped within the same second
    timer.processorStop = timer.processorStart + CLOCKS_PER_SEC / 2;
    EXPECT_EQ(timerReportLine(timer),
              "Elapsed time for \"Reading in Reference Genome\": Wall time =          0, CPU time = 0.5\n");
    timer.wallStop = timer.wallStart + 1234;
    EXPECT_NE(timerReportLine(timer).find("\": Wall time =       1234, CPU"), std::string::npos);
}

TEST(ProcessInformation, CommandLineWordsAreEachFollowedByASpace) {
    const char* argv[] = {"koru", "-v", "--help"};
    const ProcessInformation info = createProcessInformation(3, argv);
    EXPECT_EQ(info.commandLine, "koru -v --help ");
    EXPECT_EQ(info.processId, static_cast<std::uint32_t>(getpid()));
    EXPECT_EQ(info.startTime.size(), 24u);
    const std::string text = processInformationToString(info, "\t");
    EXPECT_EQ(
        text.rfind(
            "\tProcess Information:\n\t\tCommand Line = koru -v --help  \n\t\tTime process was started = ",
            0),
        0u);
}

TEST(Diagnostics, CrashHandlerPrintsTheSignalAndEndsWithStatusOne) {
    EXPECT_EXIT(
        {
            installCrashHandler();
            std::raise(SIGSEGV);
        },
        ExitedWithCode(1), "^Error: signal 11:\n");
}

}  // namespace
}  // namespace koru
