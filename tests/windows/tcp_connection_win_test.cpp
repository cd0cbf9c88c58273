// The Winsock connection to a network port's server, against a listener on
// the loopback address (run under Wine).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/stop_request.h"
#include "platform/tcp_connection.h"

namespace testbay {
namespace {

using Wait = TcpConnection::Wait;
using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 3000;
// Generous: only a wait that never ends fails it.
constexpr auto kNoHang = std::chrono::seconds(5);

class Socket {
public:
    explicit Socket(SOCKET socket = INVALID_SOCKET) : socket_(socket) {}
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SOCKET get() const { return socket_; }
    void Close() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    void SendAll(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(send(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0),
                  static_cast<int>(bytes.size()));
    }

    std::vector<uint8_t> ReceiveExactly(size_t count) const {
        std::vector<uint8_t> bytes(count);
        size_t received = 0;
        while (received < count) {
            const int part =
                recv(socket_, reinterpret_cast<char*>(bytes.data() + received), static_cast<int>(count - received), 0);
            if (part <= 0) break;
            received += static_cast<size_t>(part);
        }
        bytes.resize(received);
        return bytes;
    }

private:
    SOCKET socket_;
};

// A listening socket on 127.0.0.1 with a port the system chose.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = SOMAXCONN) {
        WSADATA data{};
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = std::make_unique<Socket>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (bind(socket_->get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
            listen(socket_->get(), backlog) == 0 &&
            getsockname(socket_->get(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~LoopbackListener() {
        socket_.reset();
        if (started_) WSACleanup();
    }

    uint16_t port() const { return port_; }
    std::unique_ptr<Socket> Accept() const {
        return std::make_unique<Socket>(accept(socket_->get(), nullptr, nullptr));
    }
    void Close() { socket_->Close(); }

private:
    bool started_ = false;
    std::unique_ptr<Socket> socket_;
    uint16_t port_ = 0;
};

std::vector<uint8_t> ReceiveAll(TcpConnection& connection, size_t count) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[64];
    while (bytes.size() < count && connection.WaitReadable(2000) == Wait::Readable) {
        const long part = connection.Receive(buffer, sizeof(buffer));
        if (part <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + part);
    }
    return bytes;
}

class TcpConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(listener.port(), 0);
        ASSERT_EQ(connection.Connect("127.0.0.1", listener.port(), kConnectMs), 0)
            << connection.ConnectFailure().systemText;
        server = listener.Accept();
        ASSERT_NE(server->get(), INVALID_SOCKET);
    }

    LoopbackListener listener;
    TcpConnection connection;
    std::unique_ptr<Socket> server;
};

TEST_F(TcpConnectionTest, EveryByteValueGoesBothWaysInOrder) {
    EXPECT_TRUE(connection.IsOpen());
    std::vector<uint8_t> all(512);
    for (size_t index = 0; index < all.size(); ++index) all[index] = static_cast<uint8_t>(255 - index % 256);

    ASSERT_TRUE(connection.Send(all.data(), all.size(), 1000));
    EXPECT_EQ(server->ReceiveExactly(all.size()), all);

    server->SendAll(all);
    EXPECT_EQ(ReceiveAll(connection, all.size()), all);
    EXPECT_EQ(connection.Receive(all.data(), all.size()), 0) << "nothing left, and nothing blocks";
}

TEST_F(TcpConnectionTest, BytesLeftAfterAPartialReadKeepTheConnectionReadable) {
    server->SendAll({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(connection.WaitReadable(2000), Wait::Readable);
    uint8_t buffer[4];
    ASSERT_GT(connection.Receive(buffer, 2), 0);
    EXPECT_EQ(connection.WaitReadable(0), Wait::Readable);

    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // all six are there
    EXPECT_EQ(connection.Receive(buffer, sizeof(buffer)), 4);
    // The event of bytes already read does not count as new input.
    EXPECT_EQ(connection.WaitReadable(100), Wait::TimedOut);

    // Bytes that come while the wait runs end it.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        server->SendAll({7});
    });
    const auto start = Clock::now();
    EXPECT_EQ(connection.WaitReadable(10000), Wait::Readable);
    EXPECT_LT(Clock::now() - start, kNoHang);
    late.join();
    EXPECT_EQ(connection.Receive(buffer, sizeof(buffer)), 1);
    EXPECT_EQ(buffer[0], 7);
}

TEST_F(TcpConnectionTest, AWaitWithoutInputEndsAtItsTime) {
    const auto start = Clock::now();
    EXPECT_EQ(connection.WaitReadable(150), Wait::TimedOut);
    const auto waited = Clock::now() - start;
    // The system's timer may end a wait up to one tick early.
    EXPECT_GE(waited, std::chrono::milliseconds(150 - 20));
    EXPECT_LT(waited, kNoHang);
}

TEST_F(TcpConnectionTest, TheServersCloseDeliversWhatWasSentThenSaysGoneWithoutHanging) {
    server->SendAll({0x41, 0xFF, 0x42});
    server->Close();
    EXPECT_EQ(ReceiveAll(connection, 3), (std::vector<uint8_t>{0x41, 0xFF, 0x42}));

    const auto start = Clock::now();
    EXPECT_EQ(connection.WaitReadable(30000), Wait::Readable);
    EXPECT_LT(Clock::now() - start, kNoHang);
    uint8_t buffer[8];
    EXPECT_EQ(connection.Receive(buffer, sizeof(buffer)), -1);
    EXPECT_EQ(connection.Receive(buffer, sizeof(buffer)), -1) << "gone stays gone";
    EXPECT_EQ(connection.WaitReadable(30000), Wait::Readable);
    EXPECT_LT(Clock::now() - start, kNoHang);
}

TEST_F(TcpConnectionTest, AClosedConnectionRefusesEveryCallAndClosesTwice) {
    connection.Close();
    connection.Close();
    EXPECT_FALSE(connection.IsOpen());
    uint8_t byte = 0;
    EXPECT_FALSE(connection.Send(&byte, 1, 100));
    EXPECT_EQ(connection.Receive(&byte, 1), -1);
    EXPECT_EQ(connection.WaitReadable(100), Wait::Failed);
    // The server sees the close.
    EXPECT_TRUE(server->ReceiveExactly(1).empty());
}

TEST_F(TcpConnectionTest, AStopRequestEndsAWaitOnlyOnAThreadWhoseCallsItEnds) {
    RequestStop();
    EXPECT_EQ(connection.WaitReadable(100), Wait::TimedOut);
    WithdrawStopRequest();

    StopEndsCalls stopEndsCalls;
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RequestStop();
    });
    const auto start = Clock::now();
    EXPECT_THROW(connection.WaitReadable(10000), CallStopped);
    EXPECT_LT(Clock::now() - start, kNoHang);
    stopper.join();
    WithdrawStopRequest();
}

TEST(TcpConnect, APortNobodyListensOnIsRefusedWithTheSystemsReason) {
    LoopbackListener listener;
    const uint16_t port = listener.port();
    listener.Close();

    TcpConnection connection;
    EXPECT_EQ(connection.Connect("127.0.0.1", port, kConnectMs), ECONNREFUSED);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.ConnectFailure().error, ECONNREFUSED);
    EXPECT_FALSE(connection.ConnectFailure().systemText.empty());
    EXPECT_EQ(connection.ConnectFailure().systemText.find('\n'), std::string::npos);
}

TEST(TcpConnect, AHostNameReachesTheListenerBehindIt) {
    // The listener has 127.0.0.1 only; "localhost" may stand for ::1 as well.
    LoopbackListener listener;
    TcpConnection connection;
    EXPECT_EQ(connection.Connect("localhost", listener.port(), kConnectMs), 0)
        << connection.ConnectFailure().systemText;
    EXPECT_TRUE(connection.IsOpen());
}

TEST(TcpConnect, AServerThatNeverAnswersTimesOutAndANewConnectCanSucceed) {
    // A full backlog: the system drops further connection requests unanswered.
    LoopbackListener listener(0);
    std::vector<std::unique_ptr<TcpConnection>> queued;
    const auto start = Clock::now();
    for (int attempt = 0; attempt < 8; ++attempt) {
        queued.push_back(std::make_unique<TcpConnection>());
        if (queued.back()->Connect("127.0.0.1", listener.port(), 300) != 0) break;
    }
    TcpConnection& connection = *queued.back();
    EXPECT_EQ(connection.ConnectFailure().error, ETIMEDOUT);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_LT(Clock::now() - start, kNoHang);

    LoopbackListener open;
    EXPECT_EQ(connection.Connect("127.0.0.1", open.port(), kConnectMs), 0);
}

}  // namespace
}  // namespace testbay
