// Runs one command and prints, on one line, its wall-clock time in seconds
// from just before the fork to the reaped exit, its peak resident memory in
// KiB and the processor time it used (user and system, all its threads, in
// seconds), as the kernel accounted them:
//
//   bench_run [--out FILE] [--limit SECONDS] [--status CODE] [--env NAME=VALUE]...
//             [--] COMMAND [ARG...]
//
// The command's standard output goes to FILE (default /dev/null), so that a
// program printing its rows pays for writing them, not for a terminal. A
// command still running after the limit (default 600 s) is killed: a program
// waiting in a message box for a user would otherwise hang the whole suite.
// Exits with 1 when the command cannot run or ends with any exit code but
// CODE (default 0): a run meant to fail must fail the expected way, or its
// time says nothing. Each --env is set in the command's environment only (a
// library preloaded into it, say), so the timer itself runs as it always does.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_child = 0;

void killChild(int)
{
    if (g_child > 0)
        kill(static_cast<pid_t>(g_child), SIGKILL);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string out = "/dev/null";
    unsigned limit = 600;
    int expected = 0;
    std::vector<char*> environment;
    int first = 1;
    while (first < argc) {
        if (std::strcmp(argv[first], "--out") == 0 && first + 1 < argc) {
            out = argv[first + 1];
            first += 2;
        } else if (std::strcmp(argv[first], "--limit") == 0 && first + 1 < argc) {
            limit = static_cast<unsigned>(std::strtoul(argv[first + 1], nullptr, 10));
            first += 2;
        } else if (std::strcmp(argv[first], "--status") == 0 && first + 1 < argc) {
            expected = static_cast<int>(std::strtol(argv[first + 1], nullptr, 10));
            first += 2;
        } else if (std::strcmp(argv[first], "--env") == 0 && first + 1 < argc &&
                   std::strchr(argv[first + 1], '=')) {
            environment.push_back(argv[first + 1]);
            first += 2;
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bench_run [--out FILE] [--limit SECONDS] [--status CODE] [--env NAME=VALUE]... [--] "
                             "COMMAND [ARG...]\n");
        return 1;
    }
    std::vector<char*> command(argv + first, argv + argc);
    command.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) {
            std::perror(out.c_str());
            _exit(127);
        }
        close(fd);
        for (char* setting : environment)
            putenv(setting);
        execvp(command[0], command.data());
        std::perror(command[0]);
        _exit(127);
    }
    g_child = child;
    struct sigaction onAlarm{};
    onAlarm.sa_handler = killChild;
    sigaction(SIGALRM, &onAlarm, nullptr);
    alarm(limit);
    int status = 0;
    rusage usage{};
    pid_t reaped;
    do
        reaped = wait4(child, &status, 0, &usage);
    while (reaped < 0 && errno == EINTR);
    alarm(0);
    if (reaped < 0) {
        std::perror("wait4");
        return 1;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    std::printf("%.6f %ld %.6f\n", elapsed.count(), usage.ru_maxrss,
                seconds(usage.ru_utime) + seconds(usage.ru_stime));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expected) {
        std::fprintf(stderr, "bench_run: %s ended with status %d, expected exit code %d\n", command[0], status,
                     expected);
        return 1;
    }
    return 0;
}
