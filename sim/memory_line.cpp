#include "sim/memory_line.h"

#include <algorithm>
#include <cstdint>

#include "platform/stop_request.h"

namespace testbay::sim {
namespace {
constexpr int64_t kReadCostUs = 20;
}

// The PC end of a MemoryLine.
class MemoryLinePort final : public SerialPort {
public:
    explicit MemoryLinePort(MemoryLine& line) : line_(line) { Open(); }
    ~MemoryLinePort() override { Close(); }

    int SetBaudrate(uint32_t baud) override {
        if (!IsOpen() || line_.refusedBauds_.count(baud)) return 0;
        line_.pcSettings_.baud = baud;
        return 1;
    }
    int SetParity(int parity, int stopBits) override {
        if (!IsOpen() || stopBits == kStopOneAndHalf) return 0;
        line_.pcSettings_.parity = parity;
        line_.pcSettings_.stopBits = stopBits;
        return 1;
    }
    void Write(const uint8_t* buffer, uint32_t length) override {
        if (length == 0 || !IsOpen()) return;
        byteCount_ += length;
        if (line_.unplugged_) {
            Fail();
            return;
        }
        line_.PcWrite(buffer, length);
    }
    uint32_t Read(uint8_t* buffer, uint32_t maximum) override {
        if (!IsOpen()) return 0;
        if (line_.unplugged_) {
            Fail();
            return 0;
        }
        const uint32_t count = line_.PcRead(buffer, maximum);
        byteCount_ += count;
        return count;
    }
    void Close() override {
        if (open_) line_.portOpen_ = false;
        open_ = 0;
    }
    void Reopen() override {
        if (!IsOpen()) return;
        Close();
        Open();
    }
    uint32_t GetBaudrate() const override { return line_.pcSettings_.baud; }
    void WaitForInput(int timeoutMs) override {
        // As a device's wait: a stop request ends it before any time passes.
        EndCallOnStopRequest();
        if (IsOpen() && !line_.unplugged_) {
            line_.PcWait(timeoutMs);
        } else if (timeoutMs > 0) {
            line_.clock_.AdvanceTo(line_.clock_.NowMs() + timeoutMs);
        }
    }

private:
    void Open() {
        if (line_.portOpen_ || line_.unplugged_) return;
        line_.portOpen_ = true;
        line_.pcSettings_ = LineSettings{};
        open_ = 1;
    }
    // Like a vanished device: the reopen finds nothing.
    void Fail() { Close(); }

    MemoryLine& line_;
};

MemoryLine::MemoryLine(LinePeer& peer, VirtualClock& clock, FaultConfig faults)
    : peer_(peer), clock_(clock), faults_(faults) {}

std::unique_ptr<SerialPort> MemoryLine::OpenPort() { return std::make_unique<MemoryLinePort>(*this); }

// An answer never overtakes one that is still on its way.
void MemoryLine::Schedule(const std::vector<uint8_t>& bytes, int64_t atMs) {
    if (!incoming_.empty()) atMs = std::max(atMs, incoming_.back().atMs);
    for (const uint8_t byte : bytes) incoming_.push_back({atMs, byte});
}

void MemoryLine::InjectAt(int64_t atMs, const std::vector<uint8_t>& bytes) {
    for (const uint8_t byte : bytes) incoming_.push_back({atMs, byte});
    std::stable_sort(incoming_.begin(), incoming_.end(),
                     [](const TimedByte& a, const TimedByte& b) { return a.atMs < b.atMs; });
}

void MemoryLine::PcWrite(const uint8_t* bytes, uint32_t length) {
    writes_.push_back({std::vector<uint8_t>(bytes, bytes + length), pcSettings_});
    const LineProtocol protocol = peer_.Protocol();
    const int64_t requestDoneMs = clock_.NowMs();
    for (const std::vector<uint8_t>& answer : peer_.Receive(bytes, length, pcSettings_)) {
        const std::vector<uint8_t> sent = faults_.Apply(answer, protocol);
        Schedule(sent, requestDoneMs + answerDelayMs_ + faults_.DelayMs());
    }
    if (faults_.Babbling() && babbleStartUs_ < 0) babbleStartUs_ = (requestDoneMs + answerDelayMs_) * 1000;
}

uint32_t MemoryLine::PcRead(uint8_t* buffer, uint32_t maximum) {
    const int64_t now = clock_.NowMs();
    uint32_t count = 0;
    while (count < maximum && !incoming_.empty() && incoming_.front().atMs <= now) {
        buffer[count++] = incoming_.front().byte;
        incoming_.pop_front();
    }
    const int64_t nowUs = clock_.NowUs();
    if (babbleStartUs_ >= 0 && nowUs >= babbleStartUs_ && count < maximum) {
        const auto due = static_cast<uint64_t>((nowUs - babbleStartUs_) / BabbleByteTimeUs() + 1);
        const uint64_t owed = due > babbleSent_ ? due - babbleSent_ : 0;
        const auto take = static_cast<uint32_t>(std::min<uint64_t>(owed, maximum - count));
        const std::vector<uint8_t> noise = faults_.Noise(take, peer_.Protocol());
        std::copy(noise.begin(), noise.end(), buffer + count);
        count += take;
        babbleSent_ += take;
    }
    // A read is not free: without this a flood of bytes would arrive in no time.
    clock_.AdvanceToUs(nowUs + kReadCostUs);
    return count;
}

// A babbling relay sends back to back at its rate.
int64_t MemoryLine::BabbleByteTimeUs() const {
    return std::max<int64_t>(1, 10000000 / std::max<uint32_t>(1, peer_.Baud()));
}

int64_t MemoryLine::NextArrivalUs() const {
    int64_t next = incoming_.empty() ? INT64_MAX : incoming_.front().atMs * 1000;
    if (babbleStartUs_ >= 0) {
        next = std::min(next, babbleStartUs_ + static_cast<int64_t>(babbleSent_) * BabbleByteTimeUs());
    }
    return next;
}

void MemoryLine::PcWait(int timeoutMs) {
    const int64_t now = clock_.NowUs();
    const int64_t next = NextArrivalUs();
    if (next <= now || timeoutMs <= 0) return;
    clock_.AdvanceToUs(std::min<int64_t>(next, now + int64_t{timeoutMs} * 1000));
}

}  // namespace testbay::sim
