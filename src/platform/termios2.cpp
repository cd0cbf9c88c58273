// Kernel termios2 access. This is the only source that includes
// <asm/termbits.h> and <asm/ioctls.h>: they define their own struct termios
// and flag macros, which clash with glibc's <termios.h> (never included here).
#include "platform/termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "platform/ioctl_retry.h"

namespace testbay {
namespace {

// The cflag bits that carry the line settings and must read back unchanged.
constexpr tcflag_t kFramingBits = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;

// The Unix98 pseudo-terminal slaves use majors 136 to 143 (devices.txt).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// Parity bits of c_cflag for a parity code; false for an unknown code.
bool ParityBits(int parity, tcflag_t& bits) {
    switch (parity) {
    case kParityNone: bits = 0; return true;
    case kParityOdd: bits = PARENB | PARODD; return true;
    case kParityEven: bits = PARENB; return true;
    case kParityMark: bits = PARENB | CMSPAR | PARODD; return true;
    case kParitySpace: bits = PARENB | CMSPAR; return true;
    default: return false;
    }
}

bool StopBits(int stopBits, tcflag_t& bits) {
    switch (stopBits) {
    case kStopOne: bits = 0; return true;
    case kStopTwo: bits = CSTOPB; return true;
    default: return false;  // one and a half (and anything unknown) is refused
    }
}

}  // namespace

// A pseudo-terminal master (TIOCGPTN answers only there) or slave. The kernel's
// pty driver (pty_set_termios) always clears PARENB and forces CS8 on the
// slave, so parity cannot be shown there with PARENB; see ApplyLineSettings.
bool IsPseudoTerminal(int fd) {
    unsigned int number = 0;
    if (Ioctl(fd, TIOCGPTN, &number) == 0) return true;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
    const unsigned deviceMajor = major(status.st_rdev);
    return deviceMajor >= kPtySlaveMajorFirst && deviceMajor <= kPtySlaveMajorLast;
}

bool ApplyLineSettings(int fd, const LineSettings& settings) {
    tcflag_t parityBits = 0;
    tcflag_t stopBits = 0;
    // Refuse before touching the device. Baud 0 would mean "hang up" (B0).
    if (settings.baud == 0 || !ParityBits(settings.parity, parityBits) || !StopBits(settings.stopBits, stopBits)) {
        return false;
    }

    struct termios2 previous {};
    if (Ioctl(fd, TCGETS2, &previous) != 0) return false;

    // On a pseudo-terminal the kernel strips PARENB, so parity is marked there
    // with INPCK (input parity checking) in addition: the pty keeps and ignores
    // that flag, and ReadLineSettings on the master can tell "even" from "none".
    // Real devices keep their c_iflag as the raw-mode setup left it: empty.
    const bool pseudoTerminal = IsPseudoTerminal(fd);

    struct termios2 wanted = previous;
    wanted.c_cflag = BOTHER | CS8 | CREAD | CLOCAL | parityBits | stopBits;  // CBAUD/CIBAUD cleared
    wanted.c_ispeed = settings.baud;
    wanted.c_ospeed = settings.baud;
    if (pseudoTerminal) {
        if (parityBits != 0) {
            wanted.c_iflag |= INPCK;
        } else {
            wanted.c_iflag &= ~static_cast<tcflag_t>(INPCK);
        }
    }

    if (Ioctl(fd, TCSETS2, &wanted) != 0) return false;

    struct termios2 actual {};
    bool exact = Ioctl(fd, TCGETS2, &actual) == 0 && actual.c_ospeed == settings.baud;
    if (exact) {
        tcflag_t compared = kFramingBits;
        if (pseudoTerminal) {
            compared &= ~static_cast<tcflag_t>(PARENB);  // always cleared by the pty driver
            exact = (actual.c_iflag & INPCK) == (wanted.c_iflag & INPCK);
        }
        exact = exact && (actual.c_cflag & compared) == (wanted.c_cflag & compared);
    }
    if (!exact) {
        // The driver refused or changed something: keep the previous settings.
        Ioctl(fd, TCSETS2, &previous);
        return false;
    }
    return true;
}

bool ReadLineSettings(int fd, LineSettings& settings) {
    struct termios2 current {};
    if (Ioctl(fd, TCGETS2, &current) != 0) return false;

    LineSettings result;
    result.baud = current.c_ospeed;
    bool parityEnabled = (current.c_cflag & PARENB) != 0;
    if (!parityEnabled && (current.c_iflag & INPCK) != 0) parityEnabled = IsPseudoTerminal(fd);
    if (!parityEnabled) {
        result.parity = kParityNone;
    } else if (current.c_cflag & CMSPAR) {
        result.parity = (current.c_cflag & PARODD) ? kParityMark : kParitySpace;
    } else {
        result.parity = (current.c_cflag & PARODD) ? kParityOdd : kParityEven;
    }
    result.stopBits = (current.c_cflag & CSTOPB) ? kStopTwo : kStopOne;
    settings = result;
    return true;
}

}  // namespace testbay
