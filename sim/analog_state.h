#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace testbay::sim {

// One monitored supply, in millivolts.
struct Supply {
    int32_t identifier = 0;  // 1 +5V, 2 -5V, 3 GND, 4 PowerFail
    int32_t value = 0;
    int32_t low = 0;
    int32_t high = 0;
};

// One analog measuring channel. The channel value names it: currents count
// from 30 (31 = I1), voltages from 20, other quantities from 80.
struct AnalogChannel {
    int32_t channelValue = 0;
    int32_t type = 0;        // 1 phase current, 2 earth current, 4 voltage, 5 other
    int32_t board = 0;       // 1 to 7, 0xFF when on no board
    int32_t measured = 0;    // thousandths of an ampere or volt
    int32_t phaseMilli = 0;  // phase angle in thousandths of a degree
    // Raw converter counts x multiplier / divisor give thousandths.
    int32_t divisor = 1;
    int32_t multiplier = 1;
    uint32_t amplifyMask = 0x1;  // one bit per selectable range
    int32_t zeroOffset = 0;      // the converter's counts at zero input
    int32_t offset = 0;          // offset in use
    int32_t rawMinimum = 0;      // since the last reset
    int32_t rawMaximum = 0;

    int32_t RawCounts() const {
        return multiplier == 0 ? 0 : static_cast<int32_t>(int64_t{measured} * divisor / multiplier);
    }
};

// A channel whose min/max lie 5 % around its present value.
inline AnalogChannel MakeChannel(int32_t channelValue, int32_t type, int32_t board, int32_t measured,
                                 int32_t phaseMilli, int32_t divisor, uint32_t amplifyMask) {
    AnalogChannel channel{channelValue, type, board, measured, phaseMilli, divisor, 1000, amplifyMask};
    const int32_t counts = channel.RawCounts();
    channel.rawMinimum = counts - counts / 20;
    channel.rawMaximum = counts + counts / 20;
    return channel;
}

// A 4-20 mA transducer input.
struct Transducer {
    int32_t microampere = 0;
    int32_t status = 0;  // 0 in range, 1 open loop
};

// An analog output: its range and resolution, and what it drives now.
struct AnalogOutput {
    int32_t minimum = 0;
    int32_t maximum = 20000;
    int32_t bits = 12;
    int32_t value = 0;
};

// Calibration data a board keeps: a calibration id and the reference that
// served for it (identity text of the reference board and channel value).
struct BoardCalibration {
    int32_t sid = 0;
    std::string referenceText;
    int32_t referenceValue = 0;
};

// Calibration pair (gain, offset) under (channel, range, c), in units of
// the calibration scale.
using CalibrationKey = std::tuple<int32_t, int32_t, int32_t>;
struct CalibrationPair {
    int32_t gain = 0;
    int32_t offset = 0;
};

// The thermobox: six sensors in degrees Celsius; sensors that are not
// fitted answer "?".
struct Thermobox {
    bool connected = true;
    bool initialised = false;
    std::array<int32_t, 6> temperatures = {23, 24, 22, 41, 38, 25};
    std::array<bool, 6> fitted = {true, true, true, true, true, false};
};

// One WS channel (protection-interface test): its settings, and whether the
// link is looped back so that a test passes.
struct WsChannel {
    int32_t port = -1;  // serial port bound by WsInit
    int32_t baud = 512000;
    int32_t clockRecovery = 1;
    bool linkUp = true;
    int32_t frames = 100;  // frames per test
};

// The SAB bus test: the status words it reports (at most five: the PC
// reads a fifth field followed by more as a block).
struct SabState {
    std::vector<int32_t> status = {1, 0, 2048, 0};
};

// Supplies, analog channels and calibration of the virtual relay.
struct AnalogState {
    std::vector<Supply> supplies = {
        {1, 5012, 4750, 5250},
        {2, -4991, -5250, -4750},
        {3, 3, -50, 50},
        {4, 0, 0, 0},
    };
    bool batteryOk = true;
    int32_t powerFail = 0;

    // Three phase currents and the earth current on board 1, three voltages
    // and a temperature input on board 2.
    std::vector<AnalogChannel> channels = {
        MakeChannel(31, 1, 1, 1000, 0, 2048, 0x0013),     MakeChannel(32, 1, 1, 1001, -120000, 2048, 0x0013),
        MakeChannel(33, 1, 1, 999, 120000, 2048, 0x0013), MakeChannel(34, 2, 1, 12, 0, 2048, 0x0003),
        MakeChannel(21, 4, 2, 57735, 0, 35, 0x0001),      MakeChannel(22, 4, 2, 57736, -120000, 35, 0x0001),
        MakeChannel(23, 4, 2, 57734, 120000, 35, 0x0001), MakeChannel(81, 5, 2, 23000, 0, 1000, 0x0001),
    };
    std::vector<Transducer> transducers = {{12000, 0}, {4000, 0}};
    std::vector<AnalogOutput> outputs = {{}, {}};

    int32_t frequencyScale = 100;
    int32_t frequency = 5000;  // x frequency scale
    bool frozen = false;

    int32_t calibrationScale = 10000;
    std::map<CalibrationKey, CalibrationPair> calibration;
    // By board number 1 to 7; board 1 was calibrated against its own I1.
    std::array<BoardCalibration, 8> boardCalibration = {{{}, {7, "1604123456", 31}}};

    Thermobox thermobox;
    std::array<WsChannel, 2> ws;
    SabState sab;
};

}  // namespace testbay::sim
