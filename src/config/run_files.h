#pragma once
// The files a run reads and writes, looked at together before the first of them is written: an
// output that is an input or another output would destroy it, and an output that cannot be
// written is better found before a long index build than after it.

#include "config/execution_parameters.h"

namespace koru {

// Ends the run with a message naming the file and its option when an output is the same file as
// an input or as another output, when the index file to write is not a regular file, when an
// output cannot be written, when a request directory is not a directory, or when the server's
// input and output directories are one. No existing file is changed (a file to be created is tried and
// removed).
void checkRunFiles(const ExecutionParameters& params);

}  // namespace koru
