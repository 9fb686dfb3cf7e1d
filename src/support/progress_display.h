#pragma once
// Progress of long runs on standard error: one line, rewritten in place on a terminal and cleared
// before any other output, so that it never mixes with the reports; as separate lines in a log
// when asked for there (--progress). Mapping threads only add to atomic counters; whichever thread
// finds a second gone since the last update draws the next one.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace koru {

using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;
ProgressClock steadyProgressClock();

// "5 s", "4 min 05 s", "2 h 03 min".
std::string formatProgressDuration(double seconds);
// "1,234,567".
std::string formatThousands(std::uint64_t value);
// "Mapped 1,234,567 pairs, 12,345 pairs/s" followed, when the share of the input read is known,
// by ", 45.2% done, 1 min 07 s left".
std::string formatMappingProgress(std::uint64_t pairs, double seconds, std::optional<double> doneShare);

// True at most once per interval, to one caller among threads that ask at once; the first
// interval starts at construction.
class RateLimiter {
  public:
    RateLimiter(std::chrono::steady_clock::duration interval, std::chrono::steady_clock::time_point start);
    bool due(std::chrono::steady_clock::time_point now);

  private:
    std::chrono::steady_clock::duration interval_;
    std::atomic<std::chrono::steady_clock::rep> last_;
};

class LockedFile;

// The progress line of the run on one stream.
class ProgressLine {
  public:
    // rewrite: a terminal, where the line is redrawn in place; else each update is a line. The line
    // is drawn under the lock of `reports` when given, and the reports clear it before each write
    // (LockedFile::setBeforeWrite), so a report never lands beside it.
    ProgressLine(std::FILE* stream, bool rewrite, LockedFile* reports = nullptr);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const std::string& text);
    void clear();

  private:
    std::FILE* stream_;
    bool rewrite_;
    LockedFile* reports_;
    bool shown_ = false;
    std::mutex lock_;
};

// The run's progress line on standard error, rewritten in place on a terminal, when standard error
// is one or `asked`; null otherwise. The report file clears it before each write.
std::unique_ptr<ProgressLine> createStandardErrorProgressLine(bool asked, LockedFile& reports);

// Pairs mapped by the threads of a FASTQ request, shown at most once a second. The share done is
// that of the input bytes read, when the input's size is known (not for pipes).
class MappingProgress {
  public:
    // line: null when nothing is shown. inputBytes: 0 when unknown. bytesRead: the input bytes
    // read so far, asked when a line is drawn.
    MappingProgress(ProgressLine* line, std::uint64_t inputBytes, std::function<std::uint64_t()> bytesRead,
                    ProgressClock clock = steadyProgressClock());

    // Called by a mapping thread for every pair (cheap: a counter and, rarely, a line).
    void pairMapped();
    // The line as it would be drawn now.
    std::string text(std::chrono::steady_clock::time_point now) const;

  private:
    ProgressLine* line_;
    std::uint64_t inputBytes_;
    std::function<std::uint64_t()> bytesRead_;
    ProgressClock clock_;
    std::chrono::steady_clock::time_point start_;
    RateLimiter limiter_;
    std::atomic<std::uint64_t> pairs_{0};
};

// Shows a stage of the index build ("Index: Generating Hash Tables ...") while it runs, cleared at
// its end (or by the first report written during it).
class StageProgress {
  public:
    StageProgress(ProgressLine* line, const std::string& stage);
    ~StageProgress();
    StageProgress(const StageProgress&) = delete;
    StageProgress& operator=(const StageProgress&) = delete;

  private:
    ProgressLine* line_;
};

}  // namespace koru
