#pragma once
// Whether this process still has a file open, from the kernel's own list of
// the process's descriptors.

#include <sys/stat.h>

#include <filesystem>
#include <string>

// How many of this process's descriptors point at the file at `path` (the same
// device and inode, whatever name it was opened by); -1 when the file is gone.
inline int descriptorsOpenOn(const std::string& path)
{
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0)
        return -1;
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        struct stat open {};
        // stat() follows the descriptor's link to the file it has open.
        if (::stat(entry.path().c_str(), &open) == 0 && open.st_dev == file.st_dev && open.st_ino == file.st_ino)
            ++count;
    }
    return error ? -1 : count;
}
