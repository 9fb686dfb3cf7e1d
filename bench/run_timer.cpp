// Times one run of a command: wall seconds and peak resident memory, printed as
// "<seconds> <peak KiB>" on standard error. A shell's own timing adds the cost of forking the
// shell (several milliseconds on virtual machines), which would swamp runs that last tens of
// milliseconds; this process is small, so fork and exec cost little.
// Usage: koru_run_timer COMMAND [ARGUMENTS...]; the exit status is the command's.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: koru_run_timer COMMAND [ARGUMENTS...]\n", stderr);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("koru_run_timer: fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("koru_run_timer: exec");
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("koru_run_timer: wait");
        return 2;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%.6f %ld\n", wall.count(), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
