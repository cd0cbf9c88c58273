#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::VirtualLineFixture;

class SerialPorts : public ::testing::Test {
protected:
    // The PC side at the relay's start rate, as the baud-rate search leaves it.
    void SetUp() override {
        ComParity(channel_, kParityNone, kStopOne);
        ComBaud(channel_, 38400);
    }
    std::vector<sim::HwtRequestFrame> Requests() {
        sim::HwtRequestAssembler assembler;
        std::vector<sim::HwtRequestFrame> requests;
        for (const auto& written : line_.Line().Writes()) {
            for (auto& request : assembler.Feed(written.bytes.data(), written.bytes.size())) {
                requests.push_back(std::move(request));
            }
        }
        return requests;
    }
    std::vector<uint8_t> CommandsSent() {
        std::vector<uint8_t> commands;
        for (const auto& request : Requests()) commands.push_back(request.command);
        return commands;
    }
    void WriteDualPort(uint32_t address, const std::string& text) {
        relay_.Hardware().memory.areas.at(0).Write(address, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    std::string ReadDualPort(uint32_t address, uint32_t length) {
        const sim::MemoryArea& area = relay_.Hardware().memory.areas.at(0);
        std::string text;
        for (uint32_t offset = 0; offset < length; ++offset) text += static_cast<char>(area.Read(address + offset));
        return text;
    }

    sim::RelayModel relay_;
    sim::SerialPortsState& ports_ = relay_.Hardware().serialPorts;
    std::string& cpu_ = relay_.Hardware().identity.cpuType;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(SerialPorts, PortSlotsComeFromTheCpuBoardsTable) {
    int32_t socket = 0;
    int32_t address = 0;
    EXPECT_EQ(client_.GetSerialPort(1, socket, address), 1);
    EXPECT_EQ(socket, 1);
    EXPECT_EQ(address, 0x5000000);
    EXPECT_EQ(client_.GetSerialPort(0, socket, address), 1);
    EXPECT_EQ(socket, -1);
    EXPECT_EQ(address, 0);
    EXPECT_EQ(client_.GetSerialPortNumber(2, socket), 1);
    EXPECT_EQ(socket, 2);
    EXPECT_EQ(client_.GetSerialPort(5, socket, address), 0);
    EXPECT_EQ(client_.GetSerialPort(-1, socket, address), 0);

    // The port table takes a board type by its beginning, Socket2Com only
    // when it is the whole type.
    cpu_ = "PBX3-B";
    EXPECT_EQ(client_.GetSerialPort(4, socket, address), 1);
    EXPECT_EQ(socket, 4);
    EXPECT_EQ(address, 0x900000);
    int32_t slot = -1;
    EXPECT_EQ(client_.Socket2Com(3, slot), 0);
    EXPECT_EQ(slot, 0);
    cpu_ = "PBX2";
    EXPECT_EQ(client_.Socket2Com(3, slot), 1);
    EXPECT_EQ(slot, 3);
    EXPECT_EQ(client_.Socket2Com(4, slot), 0);
    EXPECT_EQ(slot, 0);

    cpu_ = "XBX1";
    EXPECT_EQ(client_.GetSerialPort(0, socket, address), 0);
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.GetSerialPort(0, socket, address), 0);
}

TEST_F(SerialPorts, SimplePortTestRepeatsOnceAtMost) {
    int32_t count = 0;
    EXPECT_EQ(client_.GetSerialPortCount(count), 1);
    EXPECT_EQ(count, 4);
    int32_t id = -1;
    EXPECT_EQ(client_.GetSerialPortID(3, id), 1);
    EXPECT_EQ(id, 0x0C);
    EXPECT_EQ(client_.GetSerialPortID(4, id), 0);

    int32_t ok = 0;
    EXPECT_EQ(client_.TestSerialPort(1, ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(client_.TestSerialPort(2, ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(client_.Field(0), -1);
    // A protection interface times out on the relay's side: two tries.
    line_.Line().ClearWrites();
    EXPECT_EQ(client_.TestSerialPort(3, ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x2C, 0x2C}));
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);

    line_.Line().ClearWrites();
    EXPECT_EQ(client_.Receive(), 1);
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(SerialPorts, ParametersSendAndPortRates) {
    EXPECT_EQ(client_.SetSerialPortParameter(1, "9600 8N1"), 1);
    EXPECT_EQ(ports_.ports[1].parameters, "9600 8N1 ");
    EXPECT_EQ(client_.SetSerialPortParameter(1, "19200 8E1 "), 1);
    EXPECT_EQ(ports_.ports[1].parameters, "19200 8E1 ");
    EXPECT_EQ(client_.SetSerialPortParameter(1, ""), 1);
    EXPECT_EQ(ports_.ports[1].parameters, "");
    // 1022 characters and the blank: the long telegram form.
    line_.Line().ClearWrites();
    EXPECT_EQ(client_.SetSerialPortParameter(2, std::string(1100, 'x')), 1);
    EXPECT_EQ(ports_.ports[2].parameters, std::string(1022, 'x') + " ");
    EXPECT_EQ(line_.Line().Writes().front().bytes[1], 0x00);

    const Bytes data{0x10, 0x47, 0x00, 0x47, 0x16};
    EXPECT_EQ(client_.Send(1, data), 1);
    EXPECT_EQ(ports_.ports[1].sent, data);
    EXPECT_EQ(client_.Send(0, data), 0);

    // Another port's rate leaves the link alone.
    EXPECT_EQ(client_.SetBaudrate(1, 19200), 1);
    EXPECT_EQ(ports_.ports[1].baud, 19200u);
    EXPECT_EQ(ComGetBaud(channel_), 38400u);
    EXPECT_EQ(relay_.Line().baud, 38400u);
}

TEST_F(SerialPorts, ExtendedTestTakesTheRelaysVerdictWhenItGivesOne) {
    int32_t ok = 0;
    EXPECT_EQ(client_.TestSerialPortEx(1, ok), 1);
    EXPECT_EQ(ok, 1);
    // The link port cannot loop back, but it plainly works.
    EXPECT_EQ(client_.TestSerialPortEx(0, ok), 1);
    EXPECT_EQ(ok, 1);
    line_.Line().ClearWrites();
    EXPECT_EQ(client_.TestSerialPortEx(2, ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x2C}));
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);
}

TEST_F(SerialPorts, ExtendedTestRestartsAStartedLinkModule) {
    cpu_ = "PBX1";
    WriteDualPort(0x910000, "LQO-WNT V1.02   ");
    WriteDualPort(0x910000 + 0x19C, "STAR");
    const int64_t startMs = line_.Clock().NowMs();
    int32_t ok = 0;
    EXPECT_EQ(client_.TestSerialPortEx(3, ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtPass));
    EXPECT_EQ(ReadDualPort(0x910000 + 0x19C, 4), "ABCD");
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x2C, 0x2D, 0x51, 0x6F, 0x17, 0x17, 0x18, 0x3F}));
    EXPECT_EQ(Requests().back().scalars, (std::vector<int32_t>{3}));
    EXPECT_GE(line_.Clock().NowMs() - startMs, 13000);
}

TEST_F(SerialPorts, ExtendedTestComparesTheEchoedMarkers) {
    cpu_ = "PBX1";
    const uint32_t base = 0x910000;
    WriteDualPort(base + 0x19C, "QQQQ");
    WriteDualPort(base + 0xCA, "WXYZ");
    WriteDualPort(base + 0x468, "WXYZ");
    int32_t ok = 0;
    EXPECT_EQ(client_.TestSerialPortEx(3, ok), 1);
    EXPECT_EQ(ok, 1);
    // The empty LED telegram goes first, then the marker test.
    const Bytes emptyLedTelegram{0x68, 0x04, 0x0E, 0x0F, 0x00, 0x00, 0x1D};
    bool ledSent = false;
    for (const auto& written : line_.Line().Writes()) ledSent = ledSent || written.bytes == emptyLedTelegram;
    EXPECT_TRUE(ledSent);
    bool markerTestSent = false;
    for (const auto& request : Requests()) {
        markerTestSent = markerTestSent || request.scalars == std::vector<int32_t>{3, 1000, 0x80, 2};
    }
    EXPECT_TRUE(markerTestSent);
    // Re-armed for the next test.
    EXPECT_EQ(ReadDualPort(base + 0xCA, 4), "ABCD");
    EXPECT_EQ(ReadDualPort(base + 0xAA, 4), "BCDE");

    WriteDualPort(base + 0x468, "XXXX");
    EXPECT_EQ(client_.TestSerialPortEx(3, ok), 0);
    EXPECT_EQ(ok, 0);

    // The second pair agrees; an M board keeps its markers.
    cpu_ = "MBX1";
    ports_.ports[1].id = 0x0C;
    WriteDualPort(0x80000 + 0x468, "XXXX");
    WriteDualPort(0x80000 + 0xAA, "MNOP");
    WriteDualPort(0x80000 + 0x19C, "MNOP");
    EXPECT_EQ(client_.TestSerialPortEx(1, ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(ReadDualPort(0x80000 + 0xAA, 4), "MNOP");
}

TEST_F(SerialPorts, ExtendedTestTouchesNoMemoryWithoutADualPortAddress) {
    // Slot 2 of an MBX2 board has no dual-port RAM.
    ports_.ports[2].id = 0x0C;
    int32_t ok = 0;
    EXPECT_EQ(client_.TestSerialPortEx(2, ok), 0);
    EXPECT_EQ(ok, 0);
    for (const uint8_t command : CommandsSent()) {
        EXPECT_NE(command, 0x17);
        EXPECT_NE(command, 0x18);
    }
    EXPECT_TRUE(relay_.Hardware().memory.areas.at(0).bytes.empty());
}

}  // namespace
}  // namespace testbay
