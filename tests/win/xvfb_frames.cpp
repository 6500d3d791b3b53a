// Records the distinct frames of an Xvfb screen (the XWD file that
// "Xvfb -fbdir" keeps) while a process lives: a state that is on screen for
// a few milliseconds, such as the grid's rows just before the program's
// window closes, is too short for a screenshot tool that asks the X server.
//
//   xvfb_frames SCREEN-FILE OUTPUT-PREFIX PID
//
// Writes OUTPUT-PREFIX-001.xwd, -002.xwd, ... (at most 500, over at most 60
// seconds) and prints how many.

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: xvfb_frames SCREEN-FILE OUTPUT-PREFIX PID\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_size <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    // The server writes the same pages: the mapping shows the screen as it is now.
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    const auto* screen = static_cast<const unsigned char*>(mapped);
    const auto pid = static_cast<pid_t>(std::stol(argv[3]));
    std::vector<unsigned char> last(size), now(size);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int frames = 0;
    bool any = false;
    while (frames < 500 && std::chrono::steady_clock::now() < deadline) {
        const bool alive = ::kill(pid, 0) == 0;
        std::memcpy(now.data(), screen, size);
        if (!any || std::memcmp(now.data(), last.data(), size) != 0) {
            any = true;
            last.swap(now);
            char name[32];
            std::snprintf(name, sizeof name, "-%03d.xwd", ++frames);
            if (std::FILE* out = std::fopen((std::string(argv[2]) + name).c_str(), "wb")) {
                std::fwrite(last.data(), 1, size, out);
                std::fclose(out);
            }
        }
        if (!alive)
            break;  // the frame after the end, then stop
        ::usleep(500);
    }
    std::printf("%d\n", frames);
    return 0;
}
