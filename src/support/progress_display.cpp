#include "support/progress_display.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "support/locked_file.h"
#include "support/text_format.h"

namespace koru {

ProgressClock steadyProgressClock() {
    return [] { return std::chrono::steady_clock::now(); };
}

std::string formatProgressDuration(double seconds) {
    const auto whole = static_cast<std::uint64_t>(std::max(0.0, std::round(seconds)));
    if (whole < 60) return stringPrintf("%llu s", static_cast<unsigned long long>(whole));
    if (whole < 3600)
        return stringPrintf("%llu min %02llu s", static_cast<unsigned long long>(whole / 60),
                            static_cast<unsigned long long>(whole % 60));
    const std::uint64_t minutes = (whole + 30) / 60;
    return stringPrintf("%llu h %02llu min", static_cast<unsigned long long>(minutes / 60),
                        static_cast<unsigned long long>(minutes % 60));
}

std::string formatThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::string formatMappingProgress(std::uint64_t pairs, double seconds, std::optional<double> doneShare) {
    const double rate = seconds > 0 ? static_cast<double>(pairs) / seconds : 0.0;
    std::string text = "Mapped " + formatThousands(pairs) + " pairs, " +
                       formatThousands(static_cast<std::uint64_t>(std::llround(rate))) + " pairs/s";
    if (!doneShare) return text;
    const double share = std::clamp(*doneShare, 0.0, 1.0);
    appendPrintf(text, ", %.1f%% done", 100 * share);
    // Too little done says nothing of the time left.
    if (share >= 0.001 && seconds > 0)
        text += ", " + formatProgressDuration(seconds * (1 - share) / share) + " left";
    return text;
}

RateLimiter::RateLimiter(std::chrono::steady_clock::duration interval,
                         std::chrono::steady_clock::time_point start)
    : interval_(interval), last_(start.time_since_epoch().count()) {}

bool RateLimiter::due(std::chrono::steady_clock::time_point now) {
    const auto nowTicks = now.time_since_epoch().count();
    auto last = last_.load(std::memory_order_relaxed);
    if (nowTicks - last < interval_.count()) return false;
    // Of threads that find it due at once, only the one that moves the mark draws.
    return last_.compare_exchange_strong(last, nowTicks, std::memory_order_relaxed);
}

ProgressLine::ProgressLine(std::FILE* stream, bool rewrite, LockedFile* reports)
    : stream_(stream), rewrite_(rewrite), reports_(reports) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::show(const std::string& text) {
    // The reports' lock first, as a report's write holds it when it clears the line.
    std::optional<LockedFileGuard> reports;
    if (reports_ != nullptr) reports.emplace(*reports_);
    std::lock_guard<std::mutex> guard(lock_);
    if (rewrite_)
        std::fprintf(stream_, "\r%s\033[K", text.c_str());
    else
        std::fprintf(stream_, "%s\n", text.c_str());
    std::fflush(stream_);
    shown_ = rewrite_;
}

void ProgressLine::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!shown_) return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

std::unique_ptr<ProgressLine> createStandardErrorProgressLine(bool asked, LockedFile& reports) {
    const bool terminal = isatty(STDERR_FILENO) == 1;
    if (!terminal && !asked) return nullptr;
    auto line = std::make_unique<ProgressLine>(stderr, terminal, &reports);
    reports.setBeforeWrite([shown = line.get()] { shown->clear(); });
    return line;
}

MappingProgress::MappingProgress(ProgressLine* line, std::uint64_t inputBytes,
                                 std::function<std::uint64_t()> bytesRead, ProgressClock clock)
    : line_(line),
      inputBytes_(inputBytes),
      bytesRead_(std::move(bytesRead)),
      clock_(std::move(clock)),
      start_(clock_()),
      limiter_(std::chrono::seconds(1), start_) {}

void MappingProgress::pairMapped() {
    pairs_.fetch_add(1, std::memory_order_relaxed);
    if (line_ == nullptr) return;
    const auto now = clock_();
    if (limiter_.due(now)) line_->show(text(now));
}

std::string MappingProgress::text(std::chrono::steady_clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::optional<double> share;
    if (inputBytes_ > 0 && bytesRead_)
        share = static_cast<double>(bytesRead_()) / static_cast<double>(inputBytes_);
    return formatMappingProgress(pairs_.load(std::memory_order_relaxed), seconds, share);
}

StageProgress::StageProgress(ProgressLine* line, const std::string& stage) : line_(line) {
    if (line_ != nullptr) line_->show(stage + " ...");
}

StageProgress::~StageProgress() {
    if (line_ != nullptr) line_->clear();
}

}  // namespace koru
