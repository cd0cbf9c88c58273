#pragma once

// A network serial port's server for tests, on the loopback in a thread of its
// own: Telnet with the COM port option (or a plain stream), scriptable per
// command, with what it received kept for the test to check. Its parser is
// its own, not the client's, so that a fault shared by both cannot hide.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace testbay::test {

// A TCP socket bound to `port` (0: a free one) on the loopback; `bound` is its port.
inline int BindLoopback(uint16_t port, uint16_t& bound) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    bound = ntohs(address.sin_port);
    return fd;
}

class PortServer {
public:
    using Bytes = std::vector<uint8_t>;
    static constexpr uint8_t kIac = 255, kSb = 250, kSe = 240, kNop = 241;
    static constexpr uint8_t kWill = 251, kWont = 252, kDo = 253, kDont = 254, kComPort = 44;

    // On `port`, or on a free one for 0.
    explicit PortServer(bool telnet = true, uint16_t port = 0) : telnet_(telnet) {
        listener_ = BindLoopback(port, port_);
        listen(listener_, 4);
        if (pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
        thread_ = std::thread([this] { Serve(); });
    }
    ~PortServer() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        Wake();
        thread_.join();
        for (const int fd : {listener_, connection_, wake_[0], wake_[1]}) {
            if (fd >= 0) close(fd);
        }
    }
    PortServer(const PortServer&) = delete;
    PortServer& operator=(const PortServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string Url() const {
        return (telnet_ ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port_);
    }

    // Answers `command` with `value` in place of the value asked for.
    void AnswerWith(uint8_t command, Bytes value) { Script(command, std::move(value)); }
    // Leaves `command` unanswered.
    void Ignore(uint8_t command) { Script(command, std::nullopt); }
    // Declines the COM port option on the next connections.
    void DeclineComPort() {
        Locked([&] { declineComPort_ = true; });
    }
    // Sends received data back (escaped again on Telnet).
    void Echo() {
        Locked([&] { echo_ = true; });
    }
    // Closes the connection once this many data bytes have come in.
    void DropAfter(size_t dataBytes) {
        Locked([&] { dropAfter_ = dataBytes; });
    }
    // Bytes to the client exactly as given.
    void SendRaw(const Bytes& bytes) {
        Post([this, bytes] { SendNow(bytes); });
    }
    void Drop() {
        Post([this] { CloseConnection(); });
    }

    // Waits (generously, in real time) until `done` holds on the server's state.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }
    // The COM port commands received: (command, value).
    std::vector<std::pair<uint8_t, Bytes>> Commands() {
        return Locked([&] { return commands_; });
    }
    Bytes Data() {
        return Locked([&] { return data_; });
    }
    Bytes Raw() {
        return Locked([&] { return raw_; });
    }
    int Nops() {
        return Locked([&] { return nops_; });
    }
    int Connections() {
        return Locked([&] { return connections_; });
    }
    bool Connected() {
        return Locked([&] { return connection_ >= 0; });
    }
    // Negotiation received: (verb, option).
    std::vector<std::pair<uint8_t, uint8_t>> Negotiations() {
        return Locked([&] { return negotiations_; });
    }
    void ClearRecords() {
        Locked([&] {
            commands_.clear();
            data_.clear();
            raw_.clear();
        });
    }

    // Under the server's lock, for WaitUntil's conditions.
    const Bytes& DataLocked() const { return data_; }
    const Bytes& RawLocked() const { return raw_; }
    const std::vector<std::pair<uint8_t, Bytes>>& CommandsLocked() const { return commands_; }
    int NopsLocked() const { return nops_; }
    bool ConnectedLocked() const { return connection_ >= 0; }

private:
    enum class Parse { Data, Iac, Option, Sub, SubIac };

    template <typename F>
    std::invoke_result_t<F> Locked(F f) {
        const std::lock_guard lock(mutex_);
        return f();
    }
    void Script(uint8_t command, std::optional<Bytes> value) {
        Locked([&] { answers_[command] = std::move(value); });
    }
    void Post(std::function<void()> task) {
        Locked([&] { tasks_.push_back(std::move(task)); });
        Wake();
    }
    void Wake() {
        const char byte = 0;
        if (write(wake_[1], &byte, 1) < 0) return;
    }

    // Thread of the server from here on; `mutex_` is held unless said otherwise.
    void Serve() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            pollfd entries[3] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {connection_, POLLIN, 0}};
            lock.unlock();
            poll(entries, 3, 1000);
            lock.lock();
            if (entries[0].revents & POLLIN) {
                char drained[64];
                if (read(wake_[0], drained, sizeof drained) < 0) continue;
            }
            for (auto& task : std::exchange(tasks_, {})) task();
            if ((entries[1].revents & POLLIN) && connection_ < 0) Accept();
            if (connection_ >= 0 && (entries[2].revents & (POLLIN | POLLHUP | POLLERR))) Receive();
            changed_.notify_all();
        }
    }
    void Accept() {
        connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection_ < 0) return;
        ++connections_;
        parse_ = Parse::Data;
        if (telnet_) {
            SendNow({kIac, kWill, 3, kIac, kDo, 3, kIac, kWill, 1, kIac, kDo, 0, kIac, kWill, 0, kIac,
                     declineComPort_ ? kDont : kDo, kComPort});
        }
    }
    void Receive() {
        uint8_t chunk[4096];
        const ssize_t count = recv(connection_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return;  // readiness of an earlier connection
        if (count <= 0) {
            CloseConnection();
            return;
        }
        raw_.insert(raw_.end(), chunk, chunk + count);
        Bytes echo;
        for (ssize_t index = 0; index < count; ++index) Take(chunk[index], echo);
        if (!echo.empty()) SendNow(echo);
        if (dropAfter_ && data_.size() >= *dropAfter_) CloseConnection();
    }
    void Take(uint8_t byte, Bytes& echo) {
        if (!telnet_) {
            TakeData(byte, echo);
            return;
        }
        switch (parse_) {
        case Parse::Data:
            if (byte == kIac) {
                parse_ = Parse::Iac;
            } else {
                TakeData(byte, echo);
            }
            break;
        case Parse::Iac:
            parse_ = Parse::Data;
            if (byte == kIac) TakeData(byte, echo);
            if (byte == kNop) ++nops_;
            if (byte >= kWill && byte <= kDont) {
                verb_ = byte;
                parse_ = Parse::Option;
            }
            if (byte == kSb) {
                sub_.clear();
                parse_ = Parse::Sub;
            }
            break;
        case Parse::Option:
            negotiations_.emplace_back(verb_, byte);
            parse_ = Parse::Data;
            break;
        case Parse::Sub:
            if (byte == kIac) {
                parse_ = Parse::SubIac;
            } else {
                sub_.push_back(byte);
            }
            break;
        case Parse::SubIac:
            if (byte == kSe) {
                Subnegotiation();
                parse_ = Parse::Data;
            } else {
                sub_.push_back(byte);
                parse_ = Parse::Sub;
            }
            break;
        }
    }
    void TakeData(uint8_t byte, Bytes& echo) {
        data_.push_back(byte);
        if (!echo_) return;
        echo.push_back(byte);
        if (telnet_ && byte == kIac) echo.push_back(kIac);
    }
    void Subnegotiation() {
        if (sub_.size() < 2 || sub_[0] != kComPort) return;
        const uint8_t command = sub_[1];
        Bytes value(sub_.begin() + 2, sub_.end());
        commands_.emplace_back(command, value);
        const auto scripted = answers_.find(command);
        if (scripted != answers_.end()) {
            if (!scripted->second) return;
            value = *scripted->second;
        }
        Bytes answer{kIac, kSb, kComPort, static_cast<uint8_t>(command + 100)};
        for (const uint8_t byte : value) {
            answer.push_back(byte);
            if (byte == kIac) answer.push_back(kIac);
        }
        answer.insert(answer.end(), {kIac, kSe});
        SendNow(answer);
    }
    void SendNow(const Bytes& bytes) {
        if (connection_ >= 0 && send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) CloseConnection();
    }
    void CloseConnection() {
        if (connection_ < 0) return;
        close(connection_);
        connection_ = -1;
    }

    const bool telnet_;
    int listener_ = -1;
    uint16_t port_ = 0;
    int wake_[2] = {-1, -1};
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::function<void()>> tasks_;
    int connection_ = -1;
    int connections_ = 0;
    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;
    Bytes sub_;
    std::map<uint8_t, std::optional<Bytes>> answers_;
    bool declineComPort_ = false;
    bool echo_ = false;
    std::optional<size_t> dropAfter_;
    std::vector<std::pair<uint8_t, Bytes>> commands_;
    std::vector<std::pair<uint8_t, uint8_t>> negotiations_;
    Bytes data_;
    Bytes raw_;
    int nops_ = 0;
};

// A port on the loopback that refuses connections: a listener's, just closed.
inline uint16_t ClosedLoopbackPort() {
    uint16_t port = 0;
    close(BindLoopback(0, port));
    return port;
}

// A listener that never accepts, its backlog filled: a further connect hangs
// in the handshake as to a dead host, without leaving the loopback.
class UnansweredListener {
public:
    UnansweredListener() {
        listener_ = BindLoopback(0, port_);
        listen(listener_, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Connections until one stays in the handshake.
        for (int attempt = 0; attempt < 8; ++attempt) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers_.push_back(fd);
            pollfd entry{fd, POLLOUT, 0};
            if (poll(&entry, 1, 200) == 0) break;
        }
    }
    ~UnansweredListener() {
        for (const int fd : fillers_) close(fd);
        close(listener_);
    }
    UnansweredListener(const UnansweredListener&) = delete;
    UnansweredListener& operator=(const UnansweredListener&) = delete;
    uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<int> fillers_;
};

}  // namespace testbay::test
