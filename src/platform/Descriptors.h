#pragma once

#include <cerrno>
#include <cstddef>
#include <unistd.h>

// Whole transfers through a file descriptor, continuing after short reads and writes and interruptions.
namespace Descriptors {

// Every byte from `fd`; false with errno set, or at the end of the input before `size` bytes.
inline bool readFully(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= std::size_t(got);
    }
    return true;
}

// Every byte into `fd`; false with errno set. A reader that went away (EPIPE) is a failure, and a
// signal only where SIGPIPE is not ignored.
inline bool writeFully(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= std::size_t(put);
    }
    return true;
}

} // namespace Descriptors
