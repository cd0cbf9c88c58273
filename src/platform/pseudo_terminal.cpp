#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace testbay {
namespace {

// Closes `fd` and keeps the caller's errno.
void CloseKeepingErrno(int& fd) {
    if (fd < 0) return;
    int saved = errno;
    close(fd);
    fd = -1;
    errno = saved;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() { Close(); }

bool PseudoTerminal::Create() {
    Close();

    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0) return false;

    auto fail = [this] {
        CloseKeepingErrno(slaveFd_);
        CloseKeepingErrno(masterFd_);
        slavePath_.clear();
        return false;
    };

    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) return fail();

    char name[128];
    if (int error = ptsname_r(masterFd_, name, sizeof name)) {
        errno = error;
        return fail();
    }
    slavePath_ = name;

    // One slave descriptor stays open for the life of the pair: without it the
    // master reports a hang-up (POLLHUP, EIO) whenever no client has the slave open.
    do {
        slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    } while (slaveFd_ < 0 && errno == EINTR);
    if (slaveFd_ < 0) return fail();

    termios attributes{};
    if (tcgetattr(slaveFd_, &attributes) != 0) return fail();
    cfmakeraw(&attributes);
    if (tcsetattr(slaveFd_, TCSANOW, &attributes) != 0) return fail();

    int flags = fcntl(masterFd_, F_GETFL);
    if (flags < 0 || fcntl(masterFd_, F_SETFL, flags | O_NONBLOCK) != 0) return fail();
    return true;
}

void PseudoTerminal::Close() {
    // Closing the master hangs up the slave: a client's descriptor then reports
    // POLLHUP and reads nothing more.
    if (masterFd_ >= 0) {
        close(masterFd_);
        masterFd_ = -1;
    }
    if (slaveFd_ >= 0) {
        close(slaveFd_);
        slaveFd_ = -1;
    }
    slavePath_.clear();
}

}  // namespace testbay
