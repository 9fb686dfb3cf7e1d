#pragma once
// Labelled stage timers and their report line on the run's standard output file.

#include <ctime>
#include <string>

namespace koru {

class LockedFile;

struct Timer {
    std::string label;
    std::time_t wallStart = 0;  // whole seconds since the epoch
    std::time_t wallStop = 0;
    std::clock_t processorStart = 0;  // processor time of the whole process
    std::clock_t processorStop = 0;
};

Timer startTimer(std::string label);
void stopTimer(Timer& timer);
// "Elapsed time for ..." of a stopped timer.
std::string timerReportLine(const Timer& timer);
void printTime(LockedFile& file, const Timer& timer, bool underLock);
void stopPrintAndFreePrintTime(LockedFile& file, Timer& timer, bool underLock);

}  // namespace koru
