// Runs one command and prints, on one line, its wall-clock time in seconds
// from just before the fork to the reaped exit, and its peak resident memory
// in KiB as the kernel accounted it:
//
//   bench_run [--out FILE] [--] COMMAND [ARG...]
//
// The command's standard output goes to FILE (default /dev/null), so that a
// program printing its rows pays for writing them, not for a terminal.
// Exits with 1 when the command cannot run or ends with anything but 0.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::string out = "/dev/null";
    int first = 1;
    while (first < argc) {
        if (std::strcmp(argv[first], "--out") == 0 && first + 1 < argc) {
            out = argv[first + 1];
            first += 2;
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: bench_run [--out FILE] [--] COMMAND [ARG...]\n");
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
        execvp(command[0], command.data());
        std::perror(command[0]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) {
        std::perror("wait4");
        return 1;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %ld\n", elapsed.count(), usage.ru_maxrss);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_run: %s ended with status %d\n", command[0], status);
        return 1;
    }
    return 0;
}
