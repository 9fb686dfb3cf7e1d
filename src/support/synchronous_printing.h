#pragma once
// Printing shared by threads: each line is written under the file's lock, so lines of
// different threads never mix.

#include <string>
#include <string_view>

namespace koru {

class LockedFile;

// "%s%s.\n": an optional "Thread %d of %d is executing/processing " prefix, the message and a
// full stop. The flush happens after the lock is released.
void printSynchronous(LockedFile& file, std::string_view message, bool flush, bool withThread);
void printThreadWithMessage(LockedFile& file, std::string_view message);
void printSynchronousWithFlush(LockedFile& file, std::string_view message);

std::string openMPEnvironmentInfoToString();
void printOpenMPEnvironmentInfo(LockedFile& file);

}  // namespace koru
