#include "platform/tcp_connection.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/poll_wait.h"
#include "platform/stop_request.h"

namespace testbay {
namespace {

std::string ErrorText(int error) { return std::error_code(error, std::generic_category()).message(); }

void CloseFd(int fd) {
    if (fd >= 0) close(fd);
}

// Starts a non-blocking connect to `address` and waits for it until
// `deadline`. Returns the connected socket, or -1 with `error` set.
int ConnectOne(const addrinfo& address, int64_t deadlineMs, int& error) {
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
    if (errno != EINPROGRESS && errno != EINTR) {
        error = errno;
        CloseFd(fd);
        return -1;
    }
    short revents = 0;
    const int ready = PollUntil(fd, POLLOUT, deadlineMs, revents, StopEndsCallsHere() ? StopRequestFd() : -1);
    if (ready <= 0) {
        error = ready == 0 ? ETIMEDOUT : errno;
        CloseFd(fd);
        EndCallOnStopRequest();
        return -1;
    }
    int result = 0;
    socklen_t size = sizeof result;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
    if (result != 0) {
        error = result;
        CloseFd(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TcpConnection::~TcpConnection() { Close(); }

int TcpConnection::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    connectFailure_ = {};
    const int64_t deadline = DeadlineAfter(timeoutMs);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0) {
        const int error = resolved == EAI_SYSTEM ? errno : EHOSTUNREACH;
        connectFailure_ = {error, resolved == EAI_SYSTEM ? ErrorText(error) : gai_strerror(resolved)};
        return error;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);

    // Every address the name has, in the resolver's order, within the one time-out.
    int error = EHOSTUNREACH;
    int fd = -1;
    for (const addrinfo* address = addresses.get(); address && fd < 0; address = address->ai_next) {
        if (RemainingMs(deadline) == 0) {
            error = ETIMEDOUT;
            break;
        }
        fd = ConnectOne(*address, deadline, error);
    }
    if (fd < 0) {
        connectFailure_ = {error, ErrorText(error)};
        return error;
    }

    // Telegrams are small and each waits for its answer: no Nagle delay.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    fd_ = fd;
    return 0;
}

bool TcpConnection::IsOpen() const { return fd_ >= 0; }

bool TcpConnection::Send(const uint8_t* bytes, size_t length, int timeoutMs) {
    if (fd_ < 0) return false;
    const int64_t deadline = DeadlineAfter(timeoutMs);
    size_t sent = 0;
    while (sent < length) {
        const ssize_t count = send(fd_, bytes + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        short revents = 0;
        if (PollUntil(fd_, POLLOUT, deadline, revents) <= 0) return false;
        if (!(revents & POLLOUT) || (revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    return true;
}

long TcpConnection::Receive(uint8_t* buffer, size_t maximum) {
    if (fd_ < 0) return -1;
    if (maximum == 0) return 0;
    for (;;) {
        const ssize_t count = recv(fd_, buffer, maximum, MSG_DONTWAIT);
        if (count > 0) return static_cast<long>(count);
        if (count == 0) return -1;  // the server closed the connection
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

TcpConnection::Wait TcpConnection::WaitReadable(int timeoutMs) const {
    if (fd_ < 0) return Wait::Failed;
    short revents = 0;
    const int ready =
        PollUntil(fd_, POLLIN, DeadlineAfter(timeoutMs), revents, StopEndsCallsHere() ? StopRequestFd() : -1);
    EndCallOnStopRequest();
    if (ready < 0 || (revents & POLLNVAL)) return Wait::Failed;
    if (ready == 0) return Wait::TimedOut;
    return Wait::Readable;  // data, or a closed or reset connection that Receive reports
}

void TcpConnection::Close() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
}

}  // namespace testbay
