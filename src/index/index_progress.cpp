#include "index/index_progress.h"

#include "support/locked_file.h"
#include "support/synchronous_printing.h"
#include "support/text_format.h"

namespace koru {

IndexBuildProgress::IndexBuildProgress(LockedFile* file, int encoding, std::uint64_t paddedSequenceLength)
    : file_(file),
      timesKeys_(file != nullptr && encoding == xorKeyEncoding),
      paddedSequenceLength_(paddedSequenceLength),
      timer_(startTimer("Processing the above keys generated from the reference genome")) {}

void IndexBuildProgress::announce(const char* message) const {
    if (file_ != nullptr) printThreadWithMessage(*file_, message);
}

KeyStreamProgress IndexBuildProgress::keyStreamProgress() {
    if (!timesKeys_) return {};
    return [this](std::uint64_t words) {
        {
            LockedFileGuard guard(*file_);
            stopTimer(timer_);
            printTime(*file_, timer_, false);
            file_->write(stringPrintf("\t%u of %lu keys have been processed\n\t\t",
                                      static_cast<std::uint32_t>(32 * words),
                                      static_cast<unsigned long>(paddedSequenceLength_)));
        }
        timer_ = startTimer(timer_.label);
        file_->flushFile();
    };
}

void IndexBuildProgress::finish() {
    if (timesKeys_) stopPrintAndFreePrintTime(*file_, timer_, true);
}

}  // namespace koru
