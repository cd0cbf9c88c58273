#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testbay::sim {

// One of the relay's own serial ports, numbered from 0 (the front port that
// carries the hardware-test link).
struct RelayPort {
    int32_t id = 0;             // type code; bit 3 marks a protection interface
    bool loopbackPlug = false;  // a test plug loops the port back: tests pass
    uint32_t baud = 9600;
    std::string parameters;     // last parameter text
    std::vector<uint8_t> sent;  // bytes sent out of the port
    bool broken = false;        // sends and port tests fail with `faultCode`
    int32_t faultCode = 0;
};

// A board on the system bus: kind and version, its ten-digit serial number,
// and its bus statistics.
struct BusBoard {
    int32_t kind = 0;
    int32_t version = 0;
    std::string serial;
    int32_t events = 0;
    int32_t runtimeSeconds = 0;
};

// A plug-in communication module slot; info 0 is an empty slot.
struct PlugInModule {
    int32_t info = 0;
    std::array<uint8_t, 8> identification = {};
    int32_t testResult = 1;
    bool heldInReset = false;
};

// The HDLC recorder: its settings and the frames it captured.
struct HdlcRecorder {
    int32_t baud = 64000;
    bool running = false;
    bool frozen = false;
    int32_t errors = 0;
    std::vector<std::vector<uint8_t>> frames = {
        {0x03, 0x3F},                          // SABM, poll
        {0x03, 0x73},                          // UA, final
        {0x03, 0x10, 0x01, 0x02, 0x03, 0x04},  // I-frame N(S)=0 N(R)=0, poll
        {0x03, 0x21},                          // RR N(R)=1
    };
};

// The relay's own serial ports, bus and plug-in modules.
struct SerialPortsState {
    std::vector<RelayPort> ports = {
        {0x00, false, 38400, {}, {}},   // front RS232, the test link
        {0x02, true, 9600, {}, {}},     // RS485 with a test plug
        {0x04, false, 9600, {}, {}},    // fibre-optic port
        {0x0C, false, 512000, {}, {}},  // protection interface
    };
    std::map<int32_t, BusBoard> boards = {
        {1, {0x21, 0x03, "1604123456", 12, 86400}},
        {2, {0x32, 0x01, "1605987654", 3, 86400}},
        {3, {0x45, 0x02, "1511000042", 0, 86400}},
    };
    uint32_t busErrorBits = 0;
    std::vector<PlugInModule> modules = {
        {0x31, {0x31, 0x02, 0x05, 0x00, 0x78, 0x56, 0x34, 0x12}, 1, false},  // Ethernet module
        {},
        {},
        {},
    };
    HdlcRecorder hdlc;
};

}  // namespace testbay::sim
