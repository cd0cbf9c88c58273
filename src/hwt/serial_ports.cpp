#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

constexpr uint32_t kStartBaud = 38400;
constexpr uint32_t kFallbackBaud = 115200;
constexpr int kPortTestTimeoutMs = 12000;
constexpr int kParameterTimeoutMs = 12000;
constexpr int kExtendedTestTimeoutMs = 6000;
constexpr size_t kMaxParameterText = 1022;

// Protection-interface ports: the code a port test fails with when the port
// carries the test link itself, the id bit that marks them, and the waits
// their link modules need.
constexpr int32_t kPortCarriesLink = 0x86;
constexpr int32_t kProtectionInterfaceBit = 0x8;
constexpr int32_t kModuleResetMode = 3;
constexpr int kModuleSettleMs = 10000;
constexpr int kModuleRestartMs = 3000;
constexpr int kMarkerEchoMs = 1000;
constexpr int32_t kMarkerTestTimeoutMs = 1000;
constexpr int32_t kMarkerTestLength = 0x80;
constexpr int32_t kMarkerTestChannel = 2;

// Places in a link module's dual-port RAM, from its base address.
constexpr uint32_t kModuleNameOffset = 0x0;
constexpr uint32_t kModuleNameLength = 16;
constexpr uint32_t kModuleStateOffset = 0x19C;
constexpr uint32_t kSentMarkerAOffset = 0xCA;
constexpr uint32_t kEchoMarkerAOffset = 0x468;
constexpr uint32_t kSentMarkerBOffset = 0xAA;
constexpr uint32_t kEchoMarkerBOffset = 0x19C;
constexpr uint32_t kMarkerLength = 4;
constexpr int32_t kDualPortMemory = 0;

constexpr size_t kPortSlots = 5;
constexpr int32_t kNoAddress = -1;

struct PortSlot {
    int32_t socket;
    int32_t address;
};

struct CpuPorts {
    const char* board;
    PortSlot slots[kPortSlots];
};

// Serial port slots of each CPU board: socket number and dual-port RAM
// address, -1 where there is none.
constexpr CpuPorts kCpuPorts[] = {
    {"MBX1", {{-1, 0x0}, {1, 0x80000}, {2, -1}, {-1, -1}, {-1, -1}}},
    {"MBX2", {{-1, 0x0}, {1, 0x5000000}, {2, -1}, {-1, -1}, {-1, -1}}},
    {"NBX1", {{-1, 0x0}, {1, 0x900000}, {2, 0x910000}, {-1, -1}, {-1, -1}}},
    {"PBX1", {{-1, 0x0}, {1, 0x920000}, {2, 0x930000}, {3, 0x910000}, {4, 0x900000}}},
    {"PBX3", {{-1, 0x0}, {1, 0x920000}, {2, 0x930000}, {3, 0x910000}, {4, 0x900000}}},
    {"PBY3", {{-1, 0x0}, {1, 0x920000}, {2, 0x930000}, {3, 0x910000}, {4, 0x900000}}},
    {"PBX2", {{-1, 0x0}, {1, 0x930000}, {2, -1}, {3, 0x920000}, {-1, -1}}},
    {"PBY2", {{-1, 0x0}, {1, 0x930000}, {2, -1}, {3, 0x920000}, {-1, -1}}},
    {"QBX1", {{-1, 0x0}, {1, 0x930000}, {2, -1}, {-1, -1}, {-1, -1}}},
    {"QBX3", {{-1, 0x0}, {1, 0x930000}, {2, -1}, {-1, -1}, {-1, -1}}},
};

// The fastest link rate each board family runs.
uint32_t FamilyBaud(const std::string& cpu) {
    if (cpu.rfind("MBX2", 0) == 0) return 153600;
    switch (cpu.empty() ? '\0' : cpu[0]) {
    case 'M': return 57600;
    case 'N': return 115200;
    case 'P': return 230400;
    case 'Q': return 115200;
    default: return kStartBaud;
    }
}

bool ReadDualPort(CHwtV4Client& client, uint32_t address, uint32_t length, std::vector<uint8_t>& bytes) {
    return client.ReadMemory(kDualPortMemory, address, length, bytes) == 1 && bytes.size() >= length;
}

bool StartsWith(const std::vector<uint8_t>& bytes, std::string_view text) {
    return bytes.size() >= text.size() && std::equal(text.begin(), text.end(), bytes.begin());
}

void WriteMarker(CHwtV4Client& client, uint32_t address, std::string_view marker) {
    client.WriteMemory(kDualPortMemory, address,
                       std::span(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()));
}

// The 4-byte markers at two places of the dual-port RAM agree: what was sent
// came back.
bool MarkersAgree(CHwtV4Client& client, uint32_t sent, uint32_t echoed) {
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    return ReadDualPort(client, sent, kMarkerLength, first) && ReadDualPort(client, echoed, kMarkerLength, second) &&
           std::equal(first.begin(), first.begin() + kMarkerLength, second.begin());
}

// A link module of a known kind that has started passes the test; it is
// marked and restarted.
bool RestartStartedLinkModule(CHwtV4Client& client, int channel, uint32_t base) {
    std::vector<uint8_t> bytes;
    if (!ReadDualPort(client, base + kModuleStateOffset, kMarkerLength, bytes) || !StartsWith(bytes, "STAR")) {
        return false;
    }
    if (!ReadDualPort(client, base + kModuleNameOffset, kModuleNameLength, bytes)) return false;
    if (!StartsWith(bytes, "LQE-WNT") && !StartsWith(bytes, "LQO-WNT")) return false;
    WriteMarker(client, base + kModuleStateOffset, "ABCD");
    client.Reset(kModuleResetMode);
    ComWait(channel, kModuleRestartMs);
    return true;
}

bool IsAnsweringProtectionInterface(CHwtV4Client& client, int32_t port) {
    int32_t id = 0;
    std::string mlfb;
    return client.GetSerialPortID(port, id) == 1 && (id & kProtectionInterfaceBit) != 0 && client.GetMLFB(mlfb) == 1;
}

// The dual-port RAM of the port's link module; none for a slot without one.
std::optional<uint32_t> LinkModuleAddress(CHwtV4Client& client, int32_t port) {
    int32_t socket = 0;
    int32_t address = 0;
    if (client.GetSerialPort(port, socket, address) != 1 || address == kNoAddress) return std::nullopt;
    return static_cast<uint32_t>(address);
}

// Either pair of markers came back; both are read.
bool MarkersEchoed(CHwtV4Client& client, uint32_t base) {
    const bool first = MarkersAgree(client, base + kSentMarkerAOffset, base + kEchoMarkerAOffset);
    const bool second = MarkersAgree(client, base + kSentMarkerBOffset, base + kEchoMarkerBOffset);
    return first || second;
}

// Arms the markers for the next test (not on M boards).
void RearmMarkers(CHwtV4Client& client, uint32_t base) {
    std::string cpu;
    if (client.GetCPU(cpu) != 1 || cpu.rfind('M', 0) == 0) return;
    WriteMarker(client, base + kSentMarkerAOffset, "ABCD");
    WriteMarker(client, base + kSentMarkerBOffset, "BCDE");
}

}  // namespace

int CHwtV4Client::GetSerialPortCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetSerialPortCount");
    const int result = telegramm(kPortCountCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetSerialPortID(int32_t port, int32_t& id) {
    TraceLine("CHwtV4Client::GetSerialPortID");
    const int result = telegramm(kPortIdCommand, {Scalar(port)}, kQueryTimeoutMs);
    id = Field(0);
    return result;
}

int CHwtV4Client::GetSerialPort(int32_t slot, int32_t& socket, int32_t& address) {
    TraceLine("CHwtV4Client::GetSerialPort");
    std::string cpu;
    if (GetCPU(cpu) != 1) return 0;
    if (slot < 0 || static_cast<size_t>(slot) >= kPortSlots) return 0;
    for (const CpuPorts& row : kCpuPorts) {
        if (cpu.rfind(row.board, 0) != 0) continue;
        socket = row.slots[slot].socket;
        address = row.slots[slot].address;
        return 1;
    }
    return 0;
}

int CHwtV4Client::GetSerialPortNumber(int32_t slot, int32_t& socket) {
    TraceLine("CHwtV4Client::GetSerialPortNumber");
    int32_t address = 0;
    return GetSerialPort(slot, socket, address);
}

int CHwtV4Client::Socket2Com(int32_t socket, int32_t& slot) {
    TraceLine("CHwtV4Client::Socket2Com");
    slot = 0;
    std::string cpu;
    if (GetCPU(cpu) != 1) return 0;
    for (const CpuPorts& row : kCpuPorts) {
        if (cpu != row.board) continue;
        for (size_t index = 0; index < kPortSlots; ++index) {
            if (row.slots[index].socket != socket) continue;
            slot = static_cast<int32_t>(index);
            return 1;
        }
        return 0;
    }
    return 0;
}

int CHwtV4Client::SetBaudrate(int32_t port, uint32_t baud) {
    TraceLine("CHwtV4Client::SetBaudrate");
    if (baud == 0) {
        baud = kStartBaud;
        std::string cpu;
        if (GetCPU(cpu) == 1) baud = FamilyBaud(cpu);
        if (baud > kFallbackBaud) {
            // The PC port must take the rate too.
            const uint32_t current = ComGetBaud(channel_);
            if (ComBaud(channel_, baud) == 0) baud = kFallbackBaud;
            ComBaud(channel_, current);
        }
    }
    telegramm(kBaudrateCommand, {Scalar(port), Scalar(baud)}, 0);
    int32_t on = 0;
    if (GetLed(1, on) == 1) return 1;
    ComBaud(channel_, baud);
    GetLed(1, on);
    return 1;
}

int CHwtV4Client::SetSerialPortParameter(int32_t port, const std::string& text) {
    TraceLine("CHwtV4Client::SetSerialPortParameter");
    // The relay reads the parameters as blank-terminated words.
    std::string parameters = text.substr(0, kMaxParameterText);
    if (!parameters.empty() && parameters.back() != ' ') parameters += ' ';
    return telegramm(kBaudrateCommand, {Scalar(port), Block(parameters.data(), parameters.size())},
                     kParameterTimeoutMs);
}

int CHwtV4Client::Send(int32_t port, std::span<const uint8_t> data) {
    TraceLine("CHwtV4Client::Send");
    return telegramm(kSendCommand, {Scalar(port), Block(data.data(), data.size())}, kQueryTimeoutMs);
}

int CHwtV4Client::Receive() {
    TraceLine("CHwtV4Client::Receive");
    return 1;
}

int CHwtV4Client::TestSerialPort(int32_t port, int32_t& ok) {
    TraceLine("CHwtV4Client::TestSerialPort");
    const ScopedAttemptLimit twice(*this, 2);
    const int result = telegramm(kPortTestCommand, {Scalar(port)}, kPortTestTimeoutMs);
    ok = result == 1 && DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

int CHwtV4Client::TestSerialPortEx(int32_t port, int32_t& ok) {
    TraceLine("CHwtV4Client::TestSerialPortEx");
    const ScopedAttemptLimit once(*this, 1);
    ok = 0;
    int result = telegramm(kPortTestCommand, {Scalar(port)}, kPortTestTimeoutMs);
    if (result == 1) {
        ok = DeviceStatus() == kHwtPass ? 1 : 0;
        return result;
    }
    if (DeviceStatus() == kHwtFail) {
        if (Field(0) == kPortCarriesLink) {
            ok = 1;
            result = 1;
        }
        return result;
    }

    // No verdict: a protection-interface port is judged by its link module.
    std::optional<uint32_t> module;
    if (IsAnsweringProtectionInterface(*this, port)) {
        ComWait(channel_, kModuleSettleMs);
        module = LinkModuleAddress(*this, port);
        const bool restarted = module && RestartStartedLinkModule(*this, channel_, *module);
        // The module's verdict, whatever the reads on the way answered.
        SetDeviceStatus(restarted ? kHwtPass : kHwtFail);
        if (restarted) {
            ok = 1;
            return 1;
        }
    }
    if (DeviceStatus() == kHwtPass) return result;

    std::fill(std::begin(values_), std::end(values_), 0);
    TestSerialPortEx1(port, kMarkerTestTimeoutMs, kMarkerTestLength, kMarkerTestChannel, ok);
    ComWait(channel_, kMarkerEchoMs);
    // Without the module's address there are no markers to look at.
    if (!module) return result;
    if (MarkersEchoed(*this, *module)) {
        ok = 1;
        result = 1;
        SetDeviceStatus(kHwtPass);
    }
    RearmMarkers(*this, *module);
    return result;
}

int CHwtV4Client::TestSerialPortEx1(int32_t port, int32_t b, int32_t c, int32_t d, int32_t& ok) {
    TraceLine("CHwtV4Client::TestSerialPortEx1");
    // The firmware takes an LED telegram with two empty blocks first; its
    // answer does not matter.
    const uint8_t none = 0;
    telegramm(kLedCommand, {Block(&none, 0), Block(&none, 0)}, kQueryTimeoutMs);
    const int result =
        telegramm(kPortTestCommand, {Scalar(port), Scalar(b), Scalar(c), Scalar(d)}, kExtendedTestTimeoutMs);
    ok = result == 1 && DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

int CHwtV4Client::TestSerialPortEx2(int32_t port, int32_t b, std::span<const uint8_t> text, int32_t /*e*/,
                                    int32_t& ok) {
    TraceLine("CHwtV4Client::TestSerialPortEx2");
    const int result =
        telegramm(kPortTestCommand, {Scalar(port), Scalar(b), Block(text.data(), text.size())}, kExtendedTestTimeoutMs);
    ok = result == 1 && DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

}  // namespace testbay
