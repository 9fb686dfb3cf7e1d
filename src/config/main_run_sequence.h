#pragma once

namespace koru {

// The run: configure, load the reference, build the index, serve one request, report the
// total time. Returns the process status.
int runMainSequence(int argc, char** argv);

}  // namespace koru
