#include "platform/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/clock.h"
#include "platform/device_holder.h"
#include "platform/ioctl_retry.h"
#include "platform/poll_wait.h"
#include "platform/stop_request.h"
#include "platform/termios2.h"

namespace testbay {
namespace {

int Drain(int fd) {
    int result;
    do {
        result = tcdrain(fd);
    } while (result < 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

bool IsNoModemLines(int error) { return error == EINVAL || error == ENOTTY; }

// Sets DTR and RTS; pseudo-terminals have no modem lines (EINVAL/ENOTTY).
int RaiseModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (Ioctl(fd, TIOCMBIS, &lines) != 0 && !IsNoModemLines(errno)) return errno;
    return 0;
}

void DropDtr(int fd) {
    int lines = TIOCM_DTR;
    Ioctl(fd, TIOCMBIC, &lines);  // errors ignored (no modem lines, device gone)
}

// Raw mode with a placeholder speed; termios2 sets the real one afterwards.
// Every input flag goes, also those cfmakeraw keeps (parity checking, IXOFF,
// IXANY): a port that another program left in some other state must behave
// like a fresh one.
int SetRawMode(int fd) {
    termios attributes{};
    if (tcgetattr(fd, &attributes) != 0) return errno;
    cfmakeraw(&attributes);
    attributes.c_iflag = 0;
    cfsetispeed(&attributes, B38400);
    cfsetospeed(&attributes, B38400);
    attributes.c_cflag |= CLOCAL | CREAD;
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &attributes) != 0) return errno;
    return 0;
}

// USB adapters (FTDI) otherwise hold received bytes for up to 16 ms. Drivers
// without TIOCGSERIAL (pseudo-terminals, many USB-ACM devices) just go on.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (Ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    if (serial.flags & ASYNC_LOW_LATENCY) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    Ioctl(fd, TIOCSSERIAL, &serial);
}

int FlushBoth(int fd) {
    int result;
    do {
        result = tcflush(fd, TCIOFLUSH);
    } while (result < 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

}  // namespace

SerialDevice::~SerialDevice() { Close(); }

// Keeps why the open failed: the system's text, who holds a busy device and
// what a refused one needs.
int SerialDevice::Refuse(const std::string& path, int error) {
    openFailure_ = SerialOpenFailure{error, std::error_code(error, std::generic_category()).message(), {}, {}};
    if (error == EBUSY) openFailure_.holders = FindDeviceHolders(path);
    if (error == EACCES || error == EPERM) openFailure_.hint = AccessHint(path);
    if (error == ENOTTY) openFailure_.hint = "it is no serial device";
    return error;
}

int SerialDevice::Open(const std::string& path, const LineSettings& settings) {
    Close();
    if (IsNetworkPortPath(path)) {
        const int error = network_.Open(path, settings, connectTimeoutMs_);
        if (error != 0) openFailure_ = network_.OpenFailure();
        return error;
    }
    if (!Acceptable(settings)) return Refuse(path, EINVAL);

    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Refuse(path, errno);

    bool exclusive = false;
    bool modemLinesUp = false;
    // Undo what this call did and report `error`; the object stays closed.
    auto fail = [&](int error) {
        if (modemLinesUp) DropDtr(fd);
        if (exclusive) Ioctl(fd, TIOCNXCL, nullptr);
        close(fd);  // also releases our flock
        return Refuse(path, error);
    };

    // TIOCEXCL does not stop root (CAP_SYS_ADMIN) from opening again: the
    // flock is what keeps a second instance away.
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked < 0 && errno == EINTR);
    if (locked != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);

    if (Ioctl(fd, TIOCEXCL, nullptr) != 0) return fail(errno);
    exclusive = true;

    if (int error = SetRawMode(fd)) return fail(error);
    if (!ApplyLineSettings(fd, settings)) return fail(EINVAL);

    if (int error = RaiseModemLines(fd)) return fail(error);
    modemLinesUp = true;

    RequestLowLatency(fd);

    if (int error = FlushBoth(fd)) return fail(error);

    fd_ = fd;
    pseudoTerminal_ = IsPseudoTerminal(fd);
    settings_ = settings;
    return 0;
}

bool SerialDevice::Apply(const LineSettings& settings) {
    if (network_.IsOpen()) return network_.Apply(settings);
    if (fd_ < 0 || !ApplyLineSettings(fd_, settings)) return false;
    settings_ = settings;
    return true;
}

bool SerialDevice::Write(const uint8_t* bytes, size_t length, int timeoutMs) {
    if (network_.IsOpen()) return network_.Write(bytes, length, timeoutMs);
    if (fd_ < 0) return false;
    const int64_t startUs = ProcessClock().NowUs();
    const int64_t deadline = DeadlineAfter(timeoutMs);
    size_t written = 0;
    while (written < length) {
        ssize_t count = write(fd_, bytes + written, length - written);
        if (count > 0) {
            written += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        // A write of 0 bytes would have us loop without waiting: treat as failure.
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;

        // Output queue full: wait in poll() for room until the deadline.
        short revents = 0;
        int ready = PollUntil(fd_, POLLOUT, deadline, revents);
        if (ready <= 0) return false;  // time-out or poll error
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
        if (!(revents & POLLOUT)) return false;
    }
    return WaitUntilSent(startUs, length);
}

// tcdrain() returns at once on a pseudo-terminal: there the bytes take the
// time they would on a real line, so that the answer window of an exchange
// opens when it would on one.
bool SerialDevice::WaitUntilSent(int64_t startUs, size_t length) {
    if (!pseudoTerminal_) return Drain(fd_) == 0;
    Clock& clock = ProcessClock();
    const int64_t leftUs = startUs + WireTimeUs(settings_, length) - clock.NowUs();
    if (leftUs > 0) clock.SleepUs(leftUs);
    return true;
}

size_t SerialDevice::QueuedInput() const {
    if (network_.IsOpen()) return network_.QueuedInput();
    if (fd_ < 0) return 0;
    int queued = 0;
    if (Ioctl(fd_, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<size_t>(queued);
}

long SerialDevice::Read(uint8_t* buffer, size_t maximum) {
    if (network_.IsOpen()) return network_.Read(buffer, maximum);
    if (fd_ < 0) return -1;
    if (maximum == 0) return 0;
    ssize_t count = read(fd_, buffer, maximum);
    if (count > 0) return static_cast<long>(count);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
        return -1;  // EIO, ENXIO, ENODEV and every other hard error
    }

    // read() gave 0. In raw mode with VMIN = 0 and VTIME = 0 that is also
    // what an idle line answers; a hung-up tty answers 0 forever while poll()
    // reports it readable with POLLHUP/POLLERR. Ask poll() which it is.
    pollfd entry{fd_, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return -1;
    if (ready == 0) return 0;  // idle line
    if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
    if (entry.revents & POLLIN) {
        // Bytes may have arrived between read() and poll(): then the line is fine.
        int queued = 0;
        if (Ioctl(fd_, FIONREAD, &queued) != 0) return -1;
        return queued > 0 ? 0 : -1;  // readable yet nothing to read: gone
    }
    return 0;
}

SerialDevice::Wait SerialDevice::WaitReadable(int timeoutMs) const {
    if (network_.IsOpen()) return network_.WaitReadable(timeoutMs);
    if (fd_ < 0) return Wait::Failed;
    const int64_t deadline = DeadlineAfter(timeoutMs);
    short revents = 0;
    int ready = PollUntil(fd_, POLLIN, deadline, revents, StopEndsCallsHere() ? StopRequestFd() : -1);
    EndCallOnStopRequest();
    if (ready < 0) return Wait::Failed;
    if (ready == 0) return Wait::TimedOut;
    if (revents & POLLNVAL) return Wait::Failed;
    if (revents & (POLLHUP | POLLERR)) {
        // A hung-up tty reports POLLIN together with POLLHUP/POLLERR; it is
        // readable only while bytes are still queued (FIONREAD fails once gone).
        return (revents & POLLIN) && QueuedInput() > 0 ? Wait::Readable : Wait::Failed;
    }
    return (revents & POLLIN) ? Wait::Readable : Wait::Failed;
}

void SerialDevice::Flush() {
    if (network_.IsOpen()) {
        network_.Flush();
        return;
    }
    if (fd_ < 0) return;
    FlushBoth(fd_);
}

void SerialDevice::Close() {
    network_.Close();
    if (fd_ < 0) return;
    DropDtr(fd_);
    Ioctl(fd_, TIOCNXCL, nullptr);  // errors ignored (a hung-up tty answers EIO)
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}

}  // namespace testbay
