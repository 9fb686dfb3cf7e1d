#include "support/process_information.h"

#include <pwd.h>
#include <unistd.h>

#include <ctime>

#include "support/text_format.h"

namespace koru {

namespace {

std::string currentUserName() {
    // getlogin has no answer without a controlling terminal (batch jobs, CI); the password
    // database still knows who runs the process.
    if (const char* login = getlogin()) return login;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_name;
    return "";
}

std::string currentWorkingDirectory() {
    std::string directory(1024, '\0');
    while (getcwd(directory.data(), directory.size()) == nullptr) {
        if (directory.size() > (1u << 20)) return "";
        directory.resize(directory.size() * 2);
    }
    directory.resize(directory.find('\0'));
    return directory;
}

std::string currentHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::string currentTimeText() {
    const std::time_t now = std::time(nullptr);
    char text[64] = {};
    ctime_r(&now, text);
    std::string result(text);
    if (!result.empty() && result.back() == '\n') result.pop_back();
    return result;
}

}  // namespace

ProcessInformation createProcessInformation(int argc, const char* const* argv) {
    ProcessInformation info;
    for (int i = 0; i < argc; ++i) {
        info.commandLine += argv[i];
        info.commandLine += ' ';
    }
    info.userName = currentUserName();
    info.currentWorkingDirectory = currentWorkingDirectory();
    info.hostName = currentHostName();
    info.startTime = currentTimeText();
    info.processId = static_cast<std::uint32_t>(getpid());
    info.userId = static_cast<std::uint32_t>(getuid());
    info.groupId = static_cast<std::uint32_t>(getgid());
    return info;
}

std::string processInformationToString(const ProcessInformation& info, const char* prefix) {
    std::string text = stringPrintf("%sProcess Information:\n", prefix);
    appendPrintf(text, "%s\tCommand Line = %s \n", prefix, info.commandLine.c_str());
    appendPrintf(text, "%s\tTime process was started = %s\n", prefix, info.startTime.c_str());
    appendPrintf(text, "%s\tProcess user name = %s \n", prefix, info.userName.c_str());
    appendPrintf(text, "%s\tCurrent working directory = %s \n", prefix, info.currentWorkingDirectory.c_str());
    appendPrintf(text, "%s\tHost process executing on = %s \n", prefix, info.hostName.c_str());
    appendPrintf(text, "%s\tProcess id = %u \n", prefix, info.processId);
    appendPrintf(text, "%s\tUser id for process = %u \n", prefix, info.userId);
    appendPrintf(text, "%s\tGroup id for process = %u \n", prefix, info.groupId);
    return text;
}

}  // namespace koru
