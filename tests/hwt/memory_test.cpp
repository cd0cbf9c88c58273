#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using test::Bytes;
using test::CountOf;
using test::Ints;

class Memory : public test::HwtRelayTest {
protected:
    // Answers the statuses in turn, the last one from then on.
    void AnswerStatus(std::vector<uint8_t> statuses) {
        auto next = std::make_shared<size_t>(0);
        peer_.SetScript([statuses, next](const Bytes& request) {
            const uint8_t status = statuses[std::min((*next)++, statuses.size() - 1)];
            return std::vector<Bytes>{sim::StatusAnswer(request[2], status)};
        });
    }

    sim::MemoryState& memory_ = relay_.Hardware().memory;
};

TEST_F(Memory, ReadsStartAtTheEvenAddressBeforeAndCopyOnlyWhatTheAnswerCarried) {
    ASSERT_EQ(client_.WriteMemory(0, 0x100, Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}), 1);
    std::vector<uint8_t> read;
    EXPECT_EQ(Outcome(client_.ReadMemoryAligned16(0, 0x101, 4, read), read),
              std::make_tuple(1, Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
    EXPECT_EQ(Sent(0x17).back(), (Ints{0, 0x100, 5}));
    EXPECT_EQ(Outcome(client_.ReadMemoryAligned16(0, 0x102, 3, read), read),
              std::make_tuple(1, Bytes{0xA2, 0xA3, 0xA4}));
    EXPECT_EQ(Sent(0x17).back(), (Ints{0, 0x102, 3}));

    // Bytes the answer did not carry read as 0.
    peer_.SetScript([](const Bytes& request) {
        return std::vector<Bytes>{sim::EncodeHwtAnswer(request[2], kHwtPass, {sim::AnswerText("\x01\x02\x03")})};
    });
    Bytes carried{1, 2, 3};
    carried.resize(kHwtMaxAnswerBlock);
    EXPECT_EQ(Outcome(client_.ReadMemory(0, 0, kHwtMaxAnswerBlock, read), read), std::make_tuple(1, carried));
    // A failed read does not hand on the block of the read before.
    AnswerStatus({kHwtFail});
    EXPECT_EQ(Outcome(client_.ReadMemoryAligned16(0, 1, 2, read), read), std::make_tuple(0, Bytes{0, 0}));
}

TEST_F(Memory, ReadsLongerThanOneAnswerFailBeforeAnythingIsSentOrAllocated) {
    std::vector<uint8_t> read{9};
    const size_t sent = line_.Line().Writes().size();
    EXPECT_EQ(Outcome(client_.ReadMemory(0, 0, kHwtMaxAnswerBlock + 1, read), read), std::make_tuple(0, Bytes{}));
    EXPECT_EQ(client_.ReadMemoryAligned16(0, 1, kHwtMaxAnswerBlock, read), 0);
    EXPECT_EQ(Outcome(client_.ReadMemoryAligned16(0, 1, UINT32_MAX, read), read), std::make_tuple(0, Bytes{}));
    EXPECT_EQ(Outcome(client_.ReadMemory(0, 0, UINT32_MAX, read), read), std::make_tuple(0, Bytes{}));
    EXPECT_EQ(line_.Line().Writes().size(), sent);
    EXPECT_EQ(client_.ReadMemoryAligned16(0, 1, kHwtMaxAnswerBlock - 1, read), 1);
    EXPECT_EQ(read.size(), kHwtMaxAnswerBlock - 1);
}

TEST_F(Memory, LongWriteTravelsInTheLongFormAndItsSizeIsTheLength) {
    EXPECT_EQ(client_.WriteMemory(0, 0x4000, Bytes(300, 0x5A)), 1);
    const Bytes& frame = line_.Line().Writes().back().bytes;
    EXPECT_EQ(frame[1], 0x00);
    EXPECT_EQ(frame.size(), 4u + 2 + 1 + 4 + 3 + 300 + 4);
}

TEST_F(Memory, AreaFlagsJumpAndTheDualPortRamOfAPortSlot) {
    int32_t start = 0, size = 0, sector = 0, attributes = 0, flag1 = -1, flag2 = -1;
    EXPECT_EQ(
        Outcome(client_.GetMemoryInfo(2, start, size, sector, attributes, flag1, flag2), attributes, flag1, flag2),
        std::make_tuple(1, 1, 1, 1));
    EXPECT_EQ(Outcome(client_.GetMemoryInfo(0, start, size, sector, attributes, flag1, flag2), flag1, flag2),
              std::make_tuple(1, 0, 0));
    EXPECT_EQ(client_.Jump(0x00800100), 1);
    EXPECT_EQ(memory_.jumpedTo.value_or(0), 0x00800100u);
    // Slot 1 of the board's port table has its dual-port RAM at 0x5000000.
    const Bytes marker{'S', 'T', 'A', 'R'};
    memory_.areas[0].Write(0x5000000, marker.data(), marker.size());
    std::vector<uint8_t> read;
    EXPECT_EQ(Outcome(client_.GetDprInfo(1, read, 4), read), std::make_tuple(1, marker));
    EXPECT_EQ(client_.GetDprInfo(7, read, 4), 0);
}

TEST_F(Memory, VerdictsComeFromTheDeviceStatusAndWriteRepeatsOnDone) {
    const Bytes data{1, 2, 3};
    AnswerStatus({kHwtDone, kHwtDone});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 1);
    ASSERT_EQ(peer_.Requests().size(), 2u);
    EXPECT_EQ(peer_.Requests()[0], peer_.Requests()[1]);
    EXPECT_EQ(CountOf(line_.Trace(), "Repeat Flash-Write\n"), 1);
    EXPECT_EQ(CountOf(line_.Trace(), " CHwtV4Client::WriteMemory Versuch # 1\n"), 1);
    AnswerStatus({kHwtDone, kHwtFail});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 0);
    AnswerStatus({kHwtPass});
    EXPECT_EQ(client_.WriteMemory(0, 0, data), 1);
    EXPECT_EQ(peer_.Requests().size(), 5u);

    // Done passes a copy only.
    int32_t ok = -1, checksum = 5;
    EXPECT_EQ(Outcome(client_.EraseMemory(0, 0, 16, ok), ok), std::make_tuple(1, 1));
    AnswerStatus({kHwtDone});
    EXPECT_EQ(Outcome(client_.TestMemory(0, 0, 16, ok), ok), std::make_tuple(1, 0));
    EXPECT_EQ(Outcome(client_.EraseMemory(0, 0, 16, ok), ok), std::make_tuple(1, 0));
    EXPECT_EQ(Outcome(client_.HwtCopyMemory(0, 16, 16, ok), ok), std::make_tuple(1, 1));
    AnswerStatus({kHwtFail});
    EXPECT_EQ(Outcome(client_.HwtCopyMemory(0, 16, 16, ok), ok), std::make_tuple(0, 0));
    EXPECT_EQ(Outcome(client_.XorMemory(0, 0, 16, checksum), checksum), std::make_tuple(0, 5));
}

TEST_F(Memory, EachCommandWaitsItsOwnTime) {
    peer_.SetScript({});
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
    // After a time-out a call first waits one window of the call before
    // for a quiet line.
    int64_t drainMs = 0;
    for (const auto& [call, timeoutMs] : cases) {
        const int64_t start = line_.Clock().NowMs();
        call();
        EXPECT_NEAR(line_.Clock().NowMs() - start, drainMs + timeoutMs + 1.5, 0.5);
        drainMs = timeoutMs;
    }
    EXPECT_EQ(client_.Jump(0), 1);
    EXPECT_EQ(peer_.Requests().size(), std::size(cases) + 1);
}

}  // namespace
}  // namespace testbay
