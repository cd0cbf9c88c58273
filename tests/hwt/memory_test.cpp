#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::EncodeHwtAnswer;
using test::Bytes;
using test::CountOf;
using test::ScriptedPeer;
using test::VirtualLineFixture;

constexpr uint32_t kFlashStart = 0x01000000;

class Memory : public ::testing::Test {
protected:
    // The relay's hardware-test firmware listens at its start rate.
    Memory() { ComBaud(channel_, sim::RelayModel::kHardwareTestStartBaud); }

    // The scalars of the last request, as the relay decoded them.
    std::vector<int32_t> LastScalars() {
        sim::HwtRequestAssembler assembler;
        const Bytes& frame = line_.Line().Writes().back().bytes;
        const auto requests = assembler.Feed(frame.data(), frame.size());
        return requests.empty() ? std::vector<int32_t>{} : requests.back().scalars;
    }

    sim::RelayModel relay_;
    sim::MemoryState& memory_ = relay_.Hardware().memory;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

class ScriptedMemory : public ::testing::Test {
protected:
    // Every request gets the answers `make` builds from its command byte.
    void AnswerWith(std::function<std::vector<Bytes>(uint8_t command)> make) {
        peer_.SetScript([make](const Bytes& request) { return make(request[2]); });
    }
    void AnswerStatus(std::vector<uint8_t> statuses) {
        auto next = std::make_shared<size_t>(0);
        AnswerWith([statuses, next](uint8_t command) {
            const uint8_t status = statuses[std::min(*next, statuses.size() - 1)];
            ++*next;
            return std::vector<Bytes>{sim::StatusAnswer(command, status)};
        });
    }

    ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(Memory, AreasAndTheirAttributes) {
    int32_t count = 0;
    EXPECT_EQ(client_.GetMemoryCount(count), 1);
    EXPECT_EQ(count, 3);
    int32_t start = 0, size = 0, sector = 0, attributes = 0, flag1 = -1, flag2 = -1;
    EXPECT_EQ(client_.GetMemoryInfo(2, start, size, sector, attributes, flag1, flag2), 1);
    EXPECT_EQ(std::vector<int32_t>({start, size, sector, attributes, flag1, flag2}),
              (std::vector<int32_t>{0x01000000, 0x00200000, 0x10000, 1, 1, 1}));
    EXPECT_EQ(client_.GetMemoryInfo(0, start, size, sector, attributes, flag1, flag2), 1);
    EXPECT_EQ(std::make_pair(flag1, flag2), std::make_pair(0, 0));
    EXPECT_EQ(client_.GetMemoryInfo(5, start, size, sector, attributes, flag1, flag2), 0);

    int32_t a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(client_.GetParAdr(a, b, c, d), 1);
    EXPECT_EQ(std::vector<int32_t>({a, b, c, d}), (std::vector<int32_t>{0x00840000, 0x10000, 0x00850000, 0x10000}));
}

TEST_F(Memory, FlashIsErasedBeforeItTakesDataAgain) {
    const Bytes data{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
    EXPECT_EQ(client_.WriteMemory(2, kFlashStart + 0x10, data), 1);
    std::vector<uint8_t> read;
    EXPECT_EQ(client_.ReadMemory(2, kFlashStart + 0x10, 8, read), 1);
    EXPECT_EQ(read, data);
    int32_t checksum = 0;
    EXPECT_EQ(client_.XorMemory(2, kFlashStart + 0x10, 8, checksum), 1);
    EXPECT_EQ(checksum, 0xFF);
    EXPECT_EQ(client_.XorMemory(2, kFlashStart + 0x10, 9, checksum), 1);
    EXPECT_EQ(checksum, 0x00);

    // Programmed flash cannot take set bits back until its sector is erased.
    const Bytes erased(8, 0xFF);
    EXPECT_EQ(client_.WriteMemory(2, kFlashStart + 0x10, erased), 0);
    int32_t ok = 0;
    EXPECT_EQ(client_.EraseMemory(2, kFlashStart + 0x14, 1, ok), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(client_.ReadMemory(2, kFlashStart + 0x10, 8, read), 1);
    EXPECT_EQ(read, erased);
    EXPECT_EQ(client_.WriteMemory(2, kFlashStart + 0x10, data), 1);

    EXPECT_EQ(client_.ReadMemory(2, kFlashStart + 0x200000 - 4, 8, read), 0);
    EXPECT_EQ(client_.ReadMemory(0, 0, 252, read), 0);
}

TEST_F(Memory, AlignedReadStartsAtTheEvenAddressBefore) {
    const Bytes data{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    ASSERT_EQ(client_.WriteMemory(0, 0x100, data), 1);
    std::vector<uint8_t> read;
    EXPECT_EQ(client_.ReadMemoryAligned16(0, 0x101, 4, read), 1);
    EXPECT_EQ(LastScalars(), (std::vector<int32_t>{0, 0x100, 5}));
    EXPECT_EQ(read, (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
    EXPECT_EQ(client_.ReadMemoryAligned16(0, 0x102, 3, read), 1);
    EXPECT_EQ(LastScalars(), (std::vector<int32_t>{0, 0x102, 3}));
    EXPECT_EQ(read, (Bytes{0xA2, 0xA3, 0xA4}));
}

TEST_F(Memory, LongWriteTravelsInTheLongFormAndItsSizeIsTheLength) {
    Bytes data(300);
    for (size_t index = 0; index < data.size(); ++index) data[index] = static_cast<uint8_t>(index * 7);
    EXPECT_EQ(client_.WriteMemory(0, 0x4000, data), 1);
    const Bytes& frame = line_.Line().Writes().back().bytes;
    EXPECT_EQ(frame[1], 0x00);
    EXPECT_EQ(frame.size(), 4u + 2 + 1 + 4 + 3 + 300 + 4);
    for (const size_t offset : {size_t{0}, size_t{251}}) {
        std::vector<uint8_t> read;
        const auto length = static_cast<uint32_t>(std::min<size_t>(251, data.size() - offset));
        ASSERT_EQ(client_.ReadMemory(0, 0x4000 + static_cast<uint32_t>(offset), length, read), 1);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), data.begin() + static_cast<long>(offset)));
    }
}

TEST_F(Memory, TestCopyJumpAndDualPortRam) {
    int32_t ok = -1;
    EXPECT_EQ(client_.TestMemory(1, 0x00800000, 0x80000, ok), 1);
    EXPECT_EQ(ok, 1);
    memory_.areas[1].defective = true;
    EXPECT_EQ(client_.TestMemory(1, 0x00800000, 0x80000, ok), 0);
    EXPECT_EQ(ok, 0);

    const Bytes image{0x12, 0x34, 0x56, 0x78};
    ASSERT_EQ(client_.WriteMemory(0, 0x2000, image), 1);
    EXPECT_EQ(client_.HwtCopyMemory(0x2000, kFlashStart, 4, ok), 1);
    EXPECT_EQ(ok, 1);
    std::vector<uint8_t> read;
    EXPECT_EQ(client_.ReadMemory(2, kFlashStart, 4, read), 1);
    EXPECT_EQ(read, image);

    EXPECT_EQ(client_.Jump(0x00800100), 1);
    EXPECT_EQ(memory_.jumpedTo.value_or(0), 0x00800100u);

    // Slot 1 of the board's port table has its dual-port RAM at 0x5000000.
    const Bytes marker{'S', 'T', 'A', 'R'};
    memory_.areas[0].Write(0x5000000, marker.data(), marker.size());
    EXPECT_EQ(client_.GetDprInfo(1, read, 4), 1);
    EXPECT_EQ(read, marker);
    EXPECT_EQ(client_.GetDprInfo(7, read, 4), 0);
}

TEST_F(ScriptedMemory, ReadCopiesOnlyWhatTheAnswerCarried) {
    bool answer = true;
    AnswerWith([&answer](uint8_t command) {
        if (!answer) return std::vector<Bytes>{sim::StatusAnswer(command, kHwtFail)};
        return std::vector<Bytes>{EncodeHwtAnswer(command, kHwtPass, {sim::AnswerText("\x01\x02\x03")})};
    });
    std::vector<uint8_t> read;
    EXPECT_EQ(client_.ReadMemory(0, 0, 300, read), 1);
    ASSERT_EQ(read.size(), 300u);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 4), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(std::count(read.begin(), read.end(), 0), 297);

    // A failed read does not hand on the block of the read before.
    answer = false;
    EXPECT_EQ(client_.ReadMemoryAligned16(0, 1, 2, read), 0);
    EXPECT_EQ(read, (Bytes{0, 0}));
}

TEST_F(ScriptedMemory, WriteAnsweredDoneIsRepeatedOnce) {
    const Bytes data{1, 2, 3};
    AnswerStatus({kHwtDone, kHwtDone});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 1);
    EXPECT_EQ(peer_.Requests().size(), 2u);
    EXPECT_EQ(peer_.Requests()[0], peer_.Requests()[1]);
    const std::string trace = line_.Trace();
    EXPECT_EQ(CountOf(trace, "Repeat Flash-Write\n"), 1);
    EXPECT_EQ(CountOf(trace, " CHwtV4Client::WriteMemory Versuch # 1\n"), 1);

    AnswerStatus({kHwtDone, kHwtFail});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 0);
    AnswerStatus({kHwtPass});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 1);
    EXPECT_EQ(peer_.Requests().size(), 5u);
}

TEST_F(ScriptedMemory, VerdictsComeFromTheDeviceStatus) {
    int32_t ok = -1;
    AnswerStatus({kHwtDone});
    EXPECT_EQ(client_.TestMemory(0, 0, 16, ok), 1);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(client_.EraseMemory(0, 0, 16, ok), 1);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(client_.HwtCopyMemory(0, 16, 16, ok), 1);
    EXPECT_EQ(ok, 1);
    AnswerStatus({kHwtFail});
    EXPECT_EQ(client_.HwtCopyMemory(0, 16, 16, ok), 0);
    EXPECT_EQ(ok, 0);
    int32_t checksum = 5;
    EXPECT_EQ(client_.XorMemory(0, 0, 16, checksum), 0);
    EXPECT_EQ(checksum, 5);
}

TEST_F(ScriptedMemory, EachCommandWaitsItsOwnTime) {
    client_.SetAttemptLimit(1);
    std::vector<uint8_t> read;
    int32_t value = 0;
    const std::pair<std::function<void()>, int64_t> cases[] = {
        {[&] { client_.EraseMemory(2, 0, 200000, value); }, 11000},
        {[&] { client_.EraseMemory(2, 0, 65535, value); }, 6500},
        {[&] { client_.EraseMemory(2, 0, 65536, value); }, 8000},
        {[&] { client_.ReadMemory(0, 0, 4, read); }, 1800},
        {[&] { client_.WriteMemory(0, 0, Bytes{1}); }, 2400},
        {[&] { client_.TestMemory(0, 0, 4, value); }, 30000},
        {[&] { client_.HwtCopyMemory(0, 0, 4, value); }, 30000},
        {[&] { client_.XorMemory(0, 0, 4, value); }, 1200},
        {[&] { client_.GetMemoryCount(value); }, 60},
    };
    for (const auto& [call, timeoutMs] : cases) {
        const int64_t start = line_.Clock().NowMs();
        call();
        const int64_t elapsed = line_.Clock().NowMs() - start;
        EXPECT_GE(elapsed, timeoutMs + 1);
        EXPECT_LE(elapsed, timeoutMs + 2);
    }
    EXPECT_EQ(client_.Jump(0), 1);
    EXPECT_EQ(peer_.Requests().size(), std::size(cases) + 1);
}

}  // namespace
}  // namespace testbay
