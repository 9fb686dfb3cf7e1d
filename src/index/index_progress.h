#pragma once
// Progress of one encoding's pass over the key stream, reported only in verbose runs: the pass
// announces itself, and the XOR pass times every million words with a labelled timer.

#include <cstdint>

#include "index/key_stream_partitions.h"
#include "support/timer.h"

namespace koru {

class LockedFile;

class IndexBuildProgress {
  public:
    // file is null when nothing is reported.
    IndexBuildProgress(LockedFile* file, int encoding, std::uint64_t paddedSequenceLength);

    void announce(const char* message) const;
    // What the key stream pass calls every million words.
    KeyStreamProgress keyStreamProgress();
    // Prints the XOR pass's last timer line.
    void finish();

  private:
    LockedFile* file_;
    bool timesKeys_;
    std::uint64_t paddedSequenceLength_;
    Timer timer_;
};

}  // namespace koru
