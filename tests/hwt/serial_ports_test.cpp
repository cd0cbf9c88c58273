#include <gtest/gtest.h>

#include <algorithm>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using test::Bytes;

class SerialPorts : public test::HwtRelayTest {
protected:
    void WriteDualPort(uint32_t address, const std::string& text) {
        relay_.Hardware().memory.areas.at(0).Write(address, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    std::string ReadDualPort(uint32_t address, uint32_t length) {
        const sim::MemoryArea& area = relay_.Hardware().memory.areas.at(0);
        std::string text;
        for (uint32_t offset = 0; offset < length; ++offset) text += static_cast<char>(area.Read(address + offset));
        return text;
    }

    sim::SerialPortsState& ports_ = relay_.Hardware().serialPorts;
    std::string& cpu_ = relay_.Hardware().identity.cpuType;
};

TEST_F(SerialPorts, PortSlotsComeFromTheCpuBoardsTable) {
    int32_t socket = 0, address = 0, slot = -1;
    EXPECT_EQ(Outcome(client_.GetSerialPort(1, socket, address), socket, address), std::make_tuple(1, 1, 0x5000000));
    EXPECT_EQ(Outcome(client_.GetSerialPort(0, socket, address), socket, address), std::make_tuple(1, -1, 0));
    EXPECT_EQ(client_.GetSerialPort(5, socket, address) + client_.GetSerialPort(-1, socket, address), 0);

    // The port table takes a board type by its beginning, Socket2Com only
    // when it is the whole type.
    cpu_ = "PBX3-B";
    EXPECT_EQ(Outcome(client_.GetSerialPort(4, socket, address), socket, address), std::make_tuple(1, 4, 0x900000));
    EXPECT_EQ(Outcome(client_.Socket2Com(3, slot), slot), std::make_tuple(0, 0));
    cpu_ = "PBX2";
    EXPECT_EQ(Outcome(client_.Socket2Com(3, slot), slot), std::make_tuple(1, 3));
    EXPECT_EQ(Outcome(client_.Socket2Com(4, slot), slot), std::make_tuple(0, 0));

    cpu_ = "XBX1";
    EXPECT_EQ(client_.GetSerialPort(0, socket, address), 0);
}

TEST_F(SerialPorts, PortTestsTakeTheRelaysVerdictInTwoTriesOrOne) {
    int32_t ok = 0;
    EXPECT_EQ(Outcome(client_.TestSerialPort(1, ok), ok), std::make_tuple(1, 1));
    EXPECT_EQ(Outcome(client_.TestSerialPort(2, ok), ok), std::make_tuple(0, 0));
    // A protection interface times out on the relay's side: two tries.
    line_.Line().ClearWrites();
    EXPECT_EQ(Outcome(client_.TestSerialPort(3, ok), ok), std::make_tuple(0, 0));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x2C, 0x2C}));
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);

    // The extended test: the link port cannot loop back, but it plainly works.
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(1, ok), ok), std::make_tuple(1, 1));
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(0, ok), ok), std::make_tuple(1, 1));
    line_.Line().ClearWrites();
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(2, ok), ok), std::make_tuple(0, 0));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x2C}));
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);
}

TEST_F(SerialPorts, ParametersEndInABlankAndAnotherPortsRateLeavesTheLinkAlone) {
    for (const auto& [text, stored] : {std::pair{"9600 8N1", "9600 8N1 "}, {"19200 8E1 ", "19200 8E1 "}, {"", ""}}) {
        EXPECT_EQ(client_.SetSerialPortParameter(1, text), 1);
        EXPECT_EQ(ports_.ports[1].parameters, stored);
    }
    // 1022 characters and the blank: the long telegram form.
    line_.Line().ClearWrites();
    EXPECT_EQ(client_.SetSerialPortParameter(2, std::string(1100, 'x')), 1);
    EXPECT_EQ(ports_.ports[2].parameters, std::string(1022, 'x') + " ");
    EXPECT_EQ(line_.Line().Writes().front().bytes[1], 0x00);

    EXPECT_EQ(client_.SetBaudrate(1, 19200), 1);
    EXPECT_EQ(ports_.ports[1].baud, 19200u);
    EXPECT_EQ(ComGetBaud(channel_), 38400u);
    EXPECT_EQ(relay_.Line().baud, 38400u);
}

TEST_F(SerialPorts, ExtendedTestRestartsAStartedLinkModule) {
    cpu_ = "PBX1";
    WriteDualPort(0x910000, "LQO-WNT V1.02   ");
    WriteDualPort(0x910000 + 0x19C, "STAR");
    const int64_t startMs = line_.Clock().NowMs();
    int32_t ok = 0;
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(3, ok), ok), std::make_tuple(1, 1));
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtPass));
    EXPECT_EQ(ReadDualPort(0x910000 + 0x19C, 4), "ABCD");
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x03, 0x3F, 0x01, 0x03, 0x43}));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x2C, 0x2D, 0x51, 0x6F, 0x17, 0x17, 0x18, 0x3F}));
    EXPECT_GE(line_.Clock().NowMs() - startMs, 13000);
}

TEST_F(SerialPorts, ExtendedTestComparesTheEchoedMarkers) {
    cpu_ = "PBX1";
    const uint32_t base = 0x910000;
    WriteDualPort(base + 0x19C, "QQQQ");
    WriteDualPort(base + 0xCA, "WXYZ");
    WriteDualPort(base + 0x468, "WXYZ");
    int32_t ok = 0;
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(3, ok), ok), std::make_tuple(1, 1));
    // The LED telegram with two empty blocks goes first, then the marker test.
    const auto& writes = line_.Line().Writes();
    const auto led = std::find_if(writes.begin(), writes.end(), [](const auto& written) {
        return written.bytes == Bytes{0x68, 0x04, 0x0E, 0x0F, 0x00, 0x00, 0x1D};
    });
    ASSERT_TRUE(led != writes.end() && led + 1 != writes.end());
    const Bytes& test = led[1].bytes;
    EXPECT_EQ(sim::HwtRequestAssembler().Feed(test.data(), test.size()).at(0).scalars,
              (std::vector<int32_t>{3, 1000, 0x80, 2}));
    // Re-armed for the next test.
    EXPECT_EQ(ReadDualPort(base + 0xCA, 4), "ABCD");
    EXPECT_EQ(ReadDualPort(base + 0xAA, 4), "BCDE");

    WriteDualPort(base + 0x468, "XXXX");
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(3, ok), ok), std::make_tuple(0, 0));

    // The second pair agrees; an M board keeps its markers.
    cpu_ = "MBX1";
    ports_.ports[1].id = 0x0C;
    WriteDualPort(0x80000 + 0x468, "XXXX");
    WriteDualPort(0x80000 + 0xAA, "MNOP");
    WriteDualPort(0x80000 + 0x19C, "MNOP");
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(1, ok), ok), std::make_tuple(1, 1));
    EXPECT_EQ(ReadDualPort(0x80000 + 0xAA, 4), "MNOP");
}

TEST_F(SerialPorts, ExtendedTestTouchesNoMemoryWithoutADualPortAddress) {
    // Slot 2 of an MBX2 board has no dual-port RAM.
    ports_.ports[2].id = 0x0C;
    int32_t ok = 0;
    EXPECT_EQ(Outcome(client_.TestSerialPortEx(2, ok), ok), std::make_tuple(0, 0));
    const auto commands = TakeCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x17) + std::count(commands.begin(), commands.end(), 0x18),
              0);
    EXPECT_TRUE(relay_.Hardware().memory.areas.at(0).bytes.empty());
}

}  // namespace
}  // namespace testbay
