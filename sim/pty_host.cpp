#include "sim/pty_host.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/termios2.h"

namespace testbay::sim {
namespace {

constexpr int kPollStepMs = 20;
constexpr size_t kReadChunk = 4096;
constexpr uint32_t kBabbleChunk = 64;

// Writes everything unless the line is gone; a full pty buffer is waited out.
void WriteAll(int fd, const uint8_t* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written > 0) {
            bytes += written;
            length -= static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            if (poll(&out, 1, kPollStepMs) >= 0) continue;
        }
        return;
    }
}

}  // namespace

PtyRelayHost::PtyRelayHost(RelayModel& model, FaultConfig faults, bool wireTiming)
    : model_(model), faults_(faults), wireTiming_(wireTiming) {}

bool PtyRelayHost::Start() { return terminal_.Create(); }

int64_t PtyRelayHost::ByteTimeUs(uint32_t baud) const {
    if (!wireTiming_ || baud == 0) return 0;
    return 10000000 / baud;
}

void PtyRelayHost::Run(const std::atomic<bool>& stop) {
    while (!stop.load() && !hungUp_) {
        pollfd input{terminal_.MasterFd(), POLLIN, 0};
        const int ready = poll(&input, 1, babbling_ ? 0 : kPollStepMs);
        if (ready > 0 && (input.revents & POLLIN)) HandleInput();
        if (babbling_) Babble();
    }
}

void PtyRelayHost::HandleInput() {
    uint8_t bytes[kReadChunk];
    const ssize_t count = read(terminal_.MasterFd(), bytes, sizeof(bytes));
    if (count <= 0) return;
    if (faults_.HangUpDue()) {
        // Pulled in the middle of an exchange, as an unplugged adapter is.
        terminal_.Close();
        hungUp_ = true;
        return;
    }
    LineSettings pcSide;
    if (!ReadLineSettings(terminal_.MasterFd(), pcSide)) return;
    // The request itself took its time on the wire before the relay saw it.
    ProcessClock().SleepUs(ByteTimeUs(pcSide.baud) * count);
    // Answers go out at the rate and in the protocol of the firmware that got
    // the request, even when it restarts right after.
    const uint32_t answerBaud = model_.Line().baud;
    const LineProtocol protocol = model_.Protocol();
    for (const std::vector<uint8_t>& answer : model_.Receive(bytes, static_cast<size_t>(count), pcSide)) {
        const std::vector<uint8_t> sent = faults_.Apply(answer, protocol);
        ProcessClock().SleepMs(faults_.DelayMs());
        SendPaced(sent, answerBaud);
        if (const uint32_t state = faults_.RestartDue()) model_.RestartInto(state);
    }
    if (faults_.Babbling()) babbling_ = true;
}

void PtyRelayHost::SendPaced(const std::vector<uint8_t>& bytes, uint32_t baud) {
    const int64_t byteTime = ByteTimeUs(baud);
    if (byteTime == 0) {
        WriteAll(terminal_.MasterFd(), bytes.data(), bytes.size());
        return;
    }
    Clock& clock = ProcessClock();
    const int64_t start = clock.NowUs();
    size_t sent = 0;
    while (sent < bytes.size()) {
        const auto due = std::min(bytes.size(), static_cast<size_t>((clock.NowUs() - start) / byteTime + 1));
        if (due > sent) {
            WriteAll(terminal_.MasterFd(), bytes.data() + sent, due - sent);
            sent = due;
        } else {
            clock.SleepUs(start + static_cast<int64_t>(sent + 1) * byteTime - clock.NowUs());
        }
    }
}

void PtyRelayHost::Babble() {
    SendPaced(faults_.Noise(kBabbleChunk, model_.Protocol()), model_.Line().baud);
    if (!wireTiming_) ProcessClock().SleepMs(1);
}

}  // namespace testbay::sim
