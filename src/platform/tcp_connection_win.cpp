#include "platform/tcp_connection.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/stop_request.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

SOCKET Socket(uintptr_t socket) { return static_cast<SOCKET>(socket); }

// Real time for the deadlines, as the system's waits count it; not
// ProcessClock(), which tests replace with a virtual clock.
uint64_t DeadlineAfter(int timeoutMs) { return GetTickCount64() + static_cast<uint64_t>(std::max(timeoutMs, 0)); }

DWORD RemainingMs(uint64_t deadline) {
    const uint64_t now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(std::min<uint64_t>(deadline - now, INFINITE - 1));
}

// Winsock once per process; it stays up until the process ends. 0 or the
// Winsock error.
int StartWinsock() {
    static const int started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return started;
}

// The errno values the layers above know from the Linux build.
int ErrnoOf(int error) {
    switch (error) {
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAECONNRESET: return ECONNRESET;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAENETDOWN: return ENETDOWN;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAEAFNOSUPPORT: return EAFNOSUPPORT;
    case WSAEACCES: return EACCES;
    case WSAEMFILE: return EMFILE;
    case WSAENOBUFS: return ENOBUFS;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY: return EHOSTUNREACH;  // as the Linux build says for a name it cannot resolve
    default: return EIO;
    }
}

// The socket's state right now, without waiting: > 0 when a read would not
// block (bytes, or the connection closed or failed), 0 when it would, < 0 on
// an error of the check itself.
int ReadableNow(SOCKET socket) {
    WSAPOLLFD entry{socket, POLLRDNORM, 0};
    const int ready = WSAPoll(&entry, 1, 0);
    if (ready > 0 && (entry.revents & POLLNVAL)) return -1;
    return ready;
}

bool WaitWritable(SOCKET socket, uint64_t deadline) {
    WSAPOLLFD entry{socket, POLLWRNORM, 0};
    const int ready = WSAPoll(&entry, 1, static_cast<INT>(std::min<DWORD>(RemainingMs(deadline), INT_MAX)));
    return ready > 0 && (entry.revents & POLLWRNORM) && !(entry.revents & (POLLERR | POLLHUP | POLLNVAL));
}

// One non-blocking connect to `address` until `deadline`: 0 with `socket`
// and `event` set (the event then signals FD_READ and FD_CLOSE), else the
// Winsock error, WSAETIMEDOUT when the time ran out.
int ConnectTo(const addrinfo& address, uint64_t deadline, SOCKET& connected, WSAEVENT& connectedEvent) {
    const SOCKET socket = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) return WSAGetLastError();
    const WSAEVENT event = WSACreateEvent();
    auto fail = [&](int error) {
        closesocket(socket);
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
        return error;
    };
    if (event == WSA_INVALID_EVENT) return fail(WSAGetLastError());
    // The event select makes the socket non-blocking.
    if (WSAEventSelect(socket, event, FD_CONNECT) != 0) return fail(WSAGetLastError());
    if (connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return fail(WSAGetLastError());
        WSANETWORKEVENTS happened{};
        while (!(happened.lNetworkEvents & FD_CONNECT)) {
            if (WaitForSingleObject(event, RemainingMs(deadline)) != WAIT_OBJECT_0) return fail(WSAETIMEDOUT);
            if (WSAEnumNetworkEvents(socket, event, &happened) != 0) return fail(WSAGetLastError());
        }
        if (happened.iErrorCode[FD_CONNECT_BIT] != 0) return fail(happened.iErrorCode[FD_CONNECT_BIT]);
    }
    // Telegrams are small and each waits for its answer: no Nagle delay.
    const BOOL on = TRUE;
    if (setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on)) != 0 ||
        setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof(on)) != 0 ||
        WSAEventSelect(socket, event, FD_READ | FD_CLOSE) != 0) {
        return fail(WSAGetLastError());
    }
    connected = socket;
    connectedEvent = event;
    return 0;
}

}  // namespace

TcpConnection::~TcpConnection() { Close(); }

int TcpConnection::Connect(const std::string& host, uint16_t port, int timeoutMs) {
    Close();
    connectFailure_ = {};
    auto refuse = [this](int error) {
        connectFailure_ = TcpConnectFailure{ErrnoOf(error), SystemMessage(static_cast<unsigned long>(error))};
        return connectFailure_.error;
    };
    if (const int error = StartWinsock()) return refuse(error);

    const uint64_t deadline = DeadlineAfter(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    if (const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses)) {
        return refuse(error);
    }
    // A name may stand for several addresses (IPv6 and IPv4 of "localhost"):
    // the first that takes the connection wins, within the one time-out.
    int error = WSAETIMEDOUT;
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
    for (const addrinfo* address = addresses; address; address = address->ai_next) {
        error = ConnectTo(*address, deadline, socket, event);
        if (error == 0 || error == WSAETIMEDOUT) break;
    }
    freeaddrinfo(addresses);
    if (error != 0) return refuse(error);
    socket_ = static_cast<uintptr_t>(socket);
    event_ = event;
    return 0;
}

bool TcpConnection::IsOpen() const { return Socket(socket_) != INVALID_SOCKET; }

bool TcpConnection::Send(const uint8_t* bytes, size_t length, int timeoutMs) {
    if (!IsOpen()) return false;
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    size_t sent = 0;
    while (sent < length) {
        const int part = static_cast<int>(std::min<size_t>(length - sent, INT_MAX));
        const int count = send(Socket(socket_), reinterpret_cast<const char*>(bytes + sent), part, 0);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitWritable(Socket(socket_), deadline)) return false;
    }
    return true;
}

long TcpConnection::Receive(uint8_t* buffer, size_t maximum) {
    if (!IsOpen()) return -1;
    if (maximum == 0) return 0;
    const int wanted = static_cast<int>(std::min<size_t>(maximum, INT_MAX));
    const int count = recv(Socket(socket_), reinterpret_cast<char*>(buffer), wanted, 0);
    if (count > 0) return count;
    if (count == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return -1;  // 0 is the server's close
}

TcpConnection::Wait TcpConnection::WaitReadable(int timeoutMs) const {
    if (!IsOpen()) return Wait::Failed;
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        EndCallOnStopRequest();
        // Reset the event before looking, so that bytes arriving after the
        // look set it again; an event left from bytes already read would
        // only end the wait early.
        WSANETWORKEVENTS ignored{};
        if (WSAEnumNetworkEvents(Socket(socket_), event_, &ignored) != 0) return Wait::Failed;
        const int ready = ReadableNow(Socket(socket_));
        if (ready < 0) return Wait::Failed;
        if (ready > 0) return Wait::Readable;
        const DWORD remaining = RemainingMs(deadline);
        if (remaining == 0) return Wait::TimedOut;
        WaitForEventOrStopRequest(event_, remaining);
    }
}

void TcpConnection::Close() {
    if (IsOpen()) closesocket(Socket(socket_));
    if (event_) WSACloseEvent(event_);
    socket_ = static_cast<uintptr_t>(INVALID_SOCKET);
    event_ = nullptr;
}

}  // namespace testbay
