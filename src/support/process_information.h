#pragma once
// Who, where and how the run was started, for the verbose parameter dump.

#include <cstdint>
#include <string>

namespace koru {

struct ProcessInformation {
    std::string commandLine;  // every word, the program name first, each followed by one space
    std::string userName;
    std::string currentWorkingDirectory;
    std::string hostName;
    std::string startTime;  // the 24-character ctime form, without a line feed
    std::uint32_t processId = 0;
    std::uint32_t userId = 0;
    std::uint32_t groupId = 0;
};

ProcessInformation createProcessInformation(int argc, const char* const* argv);
std::string processInformationToString(const ProcessInformation& info, const char* prefix);

}  // namespace koru
