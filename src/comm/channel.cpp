#include "comm/channel.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>

#include "comm/trace.h"
#include "platform/clock.h"
#include "platform/stop_request.h"

namespace testbay {
namespace {

constexpr uint32_t kChunkSize = 256;
constexpr int kWaitStepMs = 100;
constexpr int kComBaudSettleMs = 10;
constexpr int64_t kLongestWaitMs = 1000000;
// Past its deadline, an exchange that keeps receiving bytes goes on only
// until the receiver's raw buffer is full or this bound: a relay that never
// stops sending cannot hold the caller for ever.
int64_t HardLimitMs(int timeoutMs) { return 2 * static_cast<int64_t>(timeoutMs) + 1000; }

// A deque keeps rows in place while the table grows.
std::mutex g_tableMutex;
std::deque<ChannelEntry> g_table;

// A call holds its port, so that a close from another thread cannot pull it
// away underneath.
std::shared_ptr<SerialPort> PortOf(int channel) {
    std::lock_guard lock(g_tableMutex);
    if (channel < 0 || static_cast<size_t>(channel) >= g_table.size()) return nullptr;
    return g_table[static_cast<size_t>(channel)].port;
}

std::shared_ptr<SerialPort> PortForExchange(int channel) {
    std::lock_guard lock(g_tableMutex);
    if (channel < 0 || static_cast<size_t>(channel) >= g_table.size()) throw CComExeption("Parameterfehler");
    std::shared_ptr<SerialPort> port = g_table[static_cast<size_t>(channel)].port;
    if (!port) throw CComExeption("Port geschlossen");
    return port;
}

void TraceReceived(const FrameReceiver& receiver, int status) {
    if (status == kExchangeTimeout) {
        TraceLine("Timeout");
        TraceHex(receiver.Raw(), receiver.RawCount(), '!');
    } else {
        TraceHex(receiver.Raw(), receiver.RawCount(), '<');
    }
}

}  // namespace

int ComAttach(std::unique_ptr<SerialPort> port, int comNumber) {
    if (!port || !port->IsOpen()) return -1;
    std::lock_guard lock(g_tableMutex);
    g_table.push_back(ChannelEntry{std::move(port), comNumber});
    return static_cast<int>(g_table.size() - 1);
}

int ComOpen(int comNumber, int& channel) {
    std::string failure;
    return ComOpen(comNumber, channel, failure);
}

int ComOpen(int comNumber, int& channel, std::string& failure) {
    LogPortOpening(comNumber);
    std::unique_ptr<SerialPort> port = MakeSerialPort(comNumber);
    failure = port ? port->OpenFailureText() : std::string();
    channel = ComAttach(std::move(port), comNumber);
    if (channel >= 0) {
        failure.clear();
        return 1;
    }
    if (failure.empty()) failure = "cannot open COM" + std::to_string(comNumber);
    LogPrintf("ComOpen: %s", failure.c_str());
    return 0;
}

void ComClose(int channel) {
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard lock(g_tableMutex);
        if (channel < 0 || static_cast<size_t>(channel) >= g_table.size()) return;
        ChannelEntry& entry = g_table[static_cast<size_t>(channel)];
        if (!entry.port) return;
        port = std::move(entry.port);
        entry = ChannelEntry{};
    }
    port->Close();
    port.reset();
    TraceLine("Schnittstelle geschlossen");
}

int ComBaud(int channel, uint32_t baud) {
    const std::shared_ptr<SerialPort> port = PortOf(channel);
    if (!port) return 0;
    const int result = port->SetBaudrate(baud);
    ProcessClock().SleepMs(kComBaudSettleMs);
    const std::string line = "ComBaud(" + std::to_string(baud) + "): " + std::to_string(result);
    TraceLine(line.c_str());
    return result;
}

void ComParity(int channel, int parity, int stopBits) {
    if (const auto port = PortOf(channel)) port->SetParity(parity, stopBits);
}

uint32_t ComGetBaud(int channel) {
    const std::shared_ptr<SerialPort> port = PortOf(channel);
    return port ? port->GetBaudrate() : 0;
}

int ComGetPortNumber(int channel) {
    std::lock_guard lock(g_tableMutex);
    if (channel < 0 || static_cast<size_t>(channel) >= g_table.size()) return 0;
    const ChannelEntry& entry = g_table[static_cast<size_t>(channel)];
    return entry.port ? entry.comNumber : 0;
}

std::string ComPortLabel(int channel) {
    std::lock_guard lock(g_tableMutex);
    if (channel < 0 || static_cast<size_t>(channel) >= g_table.size()) return {};
    const ChannelEntry& entry = g_table[static_cast<size_t>(channel)];
    if (!entry.port) return {};
    const std::string device = entry.port->Device();
    return "COM" + std::to_string(entry.comNumber) + (device.empty() ? "" : " (" + device + ")");
}

uint32_t ComTakeByteCount(int channel) {
    const std::shared_ptr<SerialPort> port = PortOf(channel);
    return port ? port->TakeByteCount() : 0;
}

void ComReopen(int channel) {
    if (const auto port = PortOf(channel)) port->Reopen();
}

int ComOpenCount() {
    std::lock_guard lock(g_tableMutex);
    int count = 0;
    for (const ChannelEntry& entry : g_table) count += entry.port ? 1 : 0;
    return count;
}

int ComLastChannel() {
    std::lock_guard lock(g_tableMutex);
    for (size_t index = g_table.size(); index > 0; --index) {
        if (g_table[index - 1].port) return static_cast<int>(index - 1);
    }
    return 0;
}

void ComWait(int channel, int milliseconds) {
    if (!PortOf(channel)) return;
    if (milliseconds > kWaitStepMs) {
        for (int step = 0; step < milliseconds / kWaitStepMs; ++step) ProcessClock().SleepMs(kWaitStepMs);
    } else {
        ProcessClock().SleepMs(milliseconds);
    }
}

int ComTransact(int channel, const uint8_t* request, uint32_t requestLength, int timeoutMs, FrameReceiver* receiver) {
    const std::shared_ptr<SerialPort> held = PortForExchange(channel);
    SerialPort& port = *held;
    uint8_t chunk[kChunkSize];
    if (requestLength != 0) {
        port.Read(chunk, kChunkSize);
        port.Write(request, requestLength);
        TraceHex(request, requestLength, '>');
    }
    if (!receiver) return kExchangeSentOnly;

    Clock& clock = ProcessClock();
    const int64_t start = clock.NowMs();
    int status = FrameReceiver::kIncomplete;
    for (;;) {
        // Also ends a relay that never stops sending, which never lets the loop wait.
        EndCallOnStopRequest();
        const uint32_t count = port.Read(chunk, kChunkSize);
        if (count != 0) status = receiver->Feed(chunk, count);
        if (status != FrameReceiver::kIncomplete) break;
        if (timeoutMs == kNoTimeLimit) {
            if (count == 0) port.WaitForInput(kWaitStepMs);
            continue;
        }
        const int64_t elapsed = clock.NowMs() - start;
        if (count != 0) {
            if (elapsed > timeoutMs && (receiver->RawFull() || elapsed > HardLimitMs(timeoutMs))) break;
            continue;
        }
        if (elapsed > timeoutMs) break;
        port.WaitForInput(static_cast<int>(std::min<int64_t>(timeoutMs - elapsed + 1, kLongestWaitMs)));
    }
    if (status == FrameReceiver::kIncomplete) status = kExchangeTimeout;
    TraceReceived(*receiver, status);
    return status;
}

std::vector<uint8_t> ComDrainQuiet(int channel, int quietMs) {
    const std::shared_ptr<SerialPort> held = PortForExchange(channel);
    SerialPort& port = *held;
    Clock& clock = ProcessClock();
    const int64_t start = clock.NowMs();
    int64_t lastArrival = start;
    std::vector<uint8_t> dropped;
    uint8_t chunk[kChunkSize];
    for (;;) {
        EndCallOnStopRequest();
        const uint32_t count = port.Read(chunk, kChunkSize);
        const int64_t now = clock.NowMs();
        if (count != 0) {
            lastArrival = now;
            const size_t kept = std::min<size_t>(count, FrameReceiver::kBufferSize - dropped.size());
            dropped.insert(dropped.end(), chunk, chunk + kept);
        }
        if (now - start > HardLimitMs(quietMs)) break;
        if (count != 0) continue;
        const int64_t quiet = now - lastArrival;
        if (quiet >= quietMs) break;
        port.WaitForInput(static_cast<int>(quietMs - quiet));
    }
    return dropped;
}

}  // namespace testbay
