#pragma once

#include <sys/ioctl.h>

#include <cerrno>

namespace testbay {

// ioctl() restarted after signals, for the serial and termios2 code alike.
inline int Ioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace testbay
