#include "support/timer.h"

#include "support/locked_file.h"
#include "support/text_format.h"

namespace koru {

Timer startTimer(std::string label) {
    Timer timer;
    timer.label = std::move(label);
    timer.wallStart = std::time(nullptr);
    timer.processorStart = std::clock();
    return timer;
}

void stopTimer(Timer& timer) {
    timer.wallStop = std::time(nullptr);
    timer.processorStop = std::clock();
}

std::string timerReportLine(const Timer& timer) {
    const double processorSeconds =
        static_cast<double>(timer.processorStop - timer.processorStart) / static_cast<double>(CLOCKS_PER_SEC);
    return stringPrintf("Elapsed time for \"%s\": Wall time = %10ld, CPU time = %g\n", timer.label.c_str(),
                        static_cast<long>(timer.wallStop - timer.wallStart), processorSeconds);
}

void printTime(LockedFile& file, const Timer& timer, bool underLock) {
    const std::string line = timerReportLine(timer);
    if (underLock) {
        file.writeUnderLock(line);
    } else {
        file.write(line);
    }
}

void stopPrintAndFreePrintTime(LockedFile& file, Timer& timer, bool underLock) {
    stopTimer(timer);
    printTime(file, timer, underLock);
}

}  // namespace koru
