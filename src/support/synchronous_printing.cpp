#include "support/synchronous_printing.h"

#include <omp.h>

#include "support/locked_file.h"
#include "support/text_format.h"

namespace koru {

void printSynchronous(LockedFile& file, std::string_view message, bool flush, bool withThread) {
    std::string line;
    if (withThread)
        line = stringPrintf("Thread %d of %d is executing/processing ", omp_get_thread_num(),
                            omp_get_num_threads());
    line.append(message);
    line.append(".\n");
    file.writeUnderLock(line);
    if (flush) file.flushFile();
}

void printThreadWithMessage(LockedFile& file, std::string_view message) {
    printSynchronous(file, message, true, true);
}

void printSynchronousWithFlush(LockedFile& file, std::string_view message) {
    printSynchronous(file, message, true, false);
}

std::string openMPEnvironmentInfoToString() {
    std::string text = "\nOpen MP Environment:\n";
    appendPrintf(text, "\tNumber of processors available = %d\n", omp_get_num_procs());
    appendPrintf(text, "\tMaximum number of OMP threads = %d\n", omp_get_max_threads());
    appendPrintf(text, "\t\tNumber of OMP threads that will be used in parallel regions = %d\n",
                 omp_get_num_threads());
    return text;
}

void printOpenMPEnvironmentInfo(LockedFile& file) {
    file.writeUnderLock(openMPEnvironmentInfoToString());
}

}  // namespace koru
