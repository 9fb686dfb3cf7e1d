// The progress line: its wording, at most one update a second on a clock the test moves, and
// reports that never land beside it.

#include "support/progress_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/locked_file.h"

namespace koru {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

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
    line.clear();
    EXPECT_EQ(terminal.text().substr(terminal.text().size() - 4), "\r\033[K");
    // Without a line or an input size, it only counts.
    MappingProgress counting(nullptr, 0, nullptr, [&] { return now; });
    now += 5s;
    counting.pairMapped();
    EXPECT_EQ(counting.text(now), "Mapped 1 pairs, 0 pairs/s");
}

TEST(ProgressLine, ReportsClearTheLineBeforeTheyWrite) {
    MemoryStream terminal;
    LockedFile reports(terminal.stream, "reports", "w", true);  // not closed: the test owns the stream
    ProgressLine line(terminal.stream, true, &reports);
    reports.setBeforeWrite([&] { line.clear(); });
    line.show("Index: Generating Hash Tables ...");
    reports.writeUnderLock("Elapsed time\n", true);
    line.show("Mapped 1 pairs");
    reports.writeUnderLock("Total\n", true);
    reports.writeUnderLock("More\n", true);  // nothing left to clear
    EXPECT_EQ(terminal.text(),
              "\rIndex: Generating Hash Tables ...\033[K\r\033[KElapsed time\n\rMapped 1 "
              "pairs\033[K\r\033[KTotal\nMore\n");
}

TEST(ProgressLine, OutsideATerminalEachUpdateIsALine) {
    MemoryStream log;
    ProgressLine line(log.stream, false);
    line.show("Mapped 1 pairs");
    line.clear();
    line.show("Mapped 2 pairs");
    EXPECT_EQ(log.text(), "Mapped 1 pairs\nMapped 2 pairs\n");
}

}  // namespace
}  // namespace koru
