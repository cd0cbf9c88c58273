#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testbay {

// Why a connection to a network port's server could not be made.
struct TcpConnectFailure {
    int error = 0;           // an errno value (the Windows build maps its codes)
    std::string systemText;  // the system's own text (also a name resolver's)
};

// One TCP connection to the server of a network serial port, on Linux a
// socket, on Windows a Winsock socket. After Connect every call is
// non-blocking except Send and WaitReadable, which wait and never spin.
class TcpConnection {
public:
    enum class Wait { Readable, TimedOut, Failed };

    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves `host` (a name or a numeric address) and connects within
    // `timeoutMs` in real time, with Nagle off and keep-alive on. Returns 0,
    // or the errno of the failing step (ETIMEDOUT when the time ran out) with
    // the reason in ConnectFailure; a failed connect leaves the object closed.
    int Connect(const std::string& host, uint16_t port, int timeoutMs);
    const TcpConnectFailure& ConnectFailure() const { return connectFailure_; }
    bool IsOpen() const;

    // Sends every byte within `timeoutMs`; false when the time ran out or
    // the connection is gone.
    bool Send(const uint8_t* bytes, size_t length, int timeoutMs);
    // Reads what is waiting, never blocks. Returns the count, 0 when nothing
    // is waiting, or -1 when the connection is gone (closed by the server,
    // reset, or any other hard error).
    long Receive(uint8_t* buffer, size_t maximum);
    // Waits until bytes are waiting, the time is up, or the connection is
    // gone (a closed connection counts as readable: Receive then says -1).
    // A stop request ends it with CallStopped on a thread in StopEndsCalls,
    // as SerialDevice::WaitReadable does.
    Wait WaitReadable(int timeoutMs) const;
    // Closes; safe to call twice.
    void Close();

private:
    TcpConnectFailure connectFailure_;
#ifdef _WIN32
    uintptr_t socket_ = ~uintptr_t{0};  // INVALID_SOCKET
    void* event_ = nullptr;             // WSAEventSelect's event for FD_READ | FD_CLOSE
#else
    int fd_ = -1;
#endif
};

}  // namespace testbay
