#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/line_settings.h"
#include "platform/rfc2217.h"
#include "platform/serial_open_failure.h"
#include "platform/tcp_connection.h"

namespace testbay {

constexpr int kDefaultConnectTimeoutMs = 3000;
constexpr int kMinimumConnectTimeoutMs = 100;
constexpr int kMaximumConnectTimeoutMs = 60000;

// A network address that stands for a serial device.
struct NetworkAddress {
    bool telnet = false;  // rfc2217://, else socket://
    std::string host;
    uint16_t port = 0;
};

// Whether `path` names a network port (rfc2217:// or socket://), well formed or not.
bool IsNetworkPortPath(const std::string& path);
// Reads "rfc2217://host:port" or "socket://host:port" (a numeric IPv6 host in
// brackets); false when `path` is no such address.
bool ParseNetworkAddress(const std::string& path, NetworkAddress& address);

// A serial device on another machine: rfc2217:// speaks Telnet with the COM
// port option, whose server sets its device's line as asked and confirms
// every setting; socket:// is a plain TCP stream whose line nobody sets.
// Calls as on SerialDevice: a connection that drops is a device gone.
class NetworkPort {
public:
    using Wait = TcpConnection::Wait;
    // A setting counts only when the server confirms it within this time.
    static constexpr int kConfirmTimeoutMs = 1000;
    // With nothing sent for this long, a Telnet NOP keeps the session alive.
    static constexpr std::chrono::milliseconds kKeepAliveInterval{10000};

    NetworkPort() = default;
    ~NetworkPort();
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    // Connects within `connectTimeoutMs` and, for rfc2217://, has the server
    // take `settings`, 8 data bits, DTR and RTS. Returns 0 or an errno value
    // with the reason in OpenFailure; a failed open leaves the port closed.
    int Open(const std::string& path, const LineSettings& settings, int connectTimeoutMs,
             std::chrono::milliseconds keepAliveInterval = kKeepAliveInterval);
    const SerialOpenFailure& OpenFailure() const { return openFailure_; }
    bool IsOpen() const { return connection_.IsOpen(); }

    // Has the server take the settings that changed; false when it refused
    // one or did not confirm it in time. socket:// takes any settings.
    bool Apply(const LineSettings& settings);
    // Sends the bytes, then returns once they would have left the far end's
    // line at the current settings (on the process clock).
    bool Write(const uint8_t* bytes, size_t length, int timeoutMs);
    size_t QueuedInput() const { return input_.size(); }
    // What has arrived, never blocks; -1 once the connection has dropped.
    long Read(uint8_t* buffer, size_t maximum);
    // Readable also when the connection has just dropped: Read then says so.
    Wait WaitReadable(int timeoutMs) const;
    // Drops what was received; rfc2217:// asks the server to purge its device too.
    void Flush();
    // Drops DTR on the server's device and disconnects. Safe to call twice.
    void Close();

private:
    int Refuse(int error, std::string reason);
    bool SendWire(const rfc2217::Bytes& wire, int timeoutMs);
    // Takes in what has arrived; false when the connection has dropped.
    bool ReceiveWaiting();
    // Takes in what arrives until `done` holds; false on a time-out or a drop.
    bool WaitFor(const std::function<bool()>& done);
    bool ApplyTelnet(const LineSettings& settings, bool everything);
    void KeepAlive(std::chrono::milliseconds interval);
    void StopKeepAlive();

    TcpConnection connection_;
    SerialOpenFailure openFailure_;
    NetworkAddress address_;
    LineSettings settings_;
    rfc2217::ClientSession session_;
    rfc2217::Bytes input_;  // received data not yet read
    bool dropped_ = false;
    std::string refusal_;  // why the last Apply failed

    // Sends come from the caller and from the keep-alive thread.
    std::mutex sendMutex_;
    std::condition_variable keepAliveWake_;
    std::chrono::steady_clock::time_point lastSend_;
    bool stopKeepAlive_ = false;
    std::thread keepAlive_;
};

}  // namespace testbay
