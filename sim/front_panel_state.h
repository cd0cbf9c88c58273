#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace testbay::sim {

struct OutputRelay {
    bool on = false;
    // A relay whose driver reports a fault: its state reads 2, it cannot be switched.
    bool faulty = false;
    int32_t board = 1;
    // 0 make contact, 1 break contact, 2 change-over contact.
    int32_t contact = 0;
};

struct BinaryInput {
    bool active = false;
    int32_t thresholdVolts = 19;
    int32_t board = 1;
};

// Relays 1 to 6 sit on the CPU board (relay 1 the change-over life contact),
// 7 to 12 on the first I/O board.
inline std::vector<OutputRelay> DefaultOutputRelays() {
    std::vector<OutputRelay> relays(12);
    relays[0].contact = 2;
    for (size_t index = 6; index < relays.size(); ++index) relays[index].board = 2;
    return relays;
}

// Inputs 1 to 8 on the CPU board for 24 V control voltage, 9 to 20 on the
// first I/O board for 110 V.
inline std::vector<BinaryInput> DefaultBinaryInputs() {
    std::vector<BinaryInput> inputs(20);
    for (size_t index = 8; index < inputs.size(); ++index) inputs[index] = BinaryInput{false, 88, 2};
    return inputs;
}

// Front panel (LEDs, GOK contact, display, key switches, keypad) and binary
// I/O of the virtual relay.
struct FrontPanelState {
    std::vector<bool> leds = std::vector<bool>(16, false);
    bool gok = false;
    bool displayLight = true;
    int32_t displayContrast = 32;
    // Positions of the key switches (remote/local, interlocking).
    std::vector<int32_t> keyswitches = {0, 0};
    // Keys pressed and not yet read, oldest first.
    std::deque<int32_t> keysPressed;
    std::vector<OutputRelay> relays = DefaultOutputRelays();
    std::vector<BinaryInput> inputs = DefaultBinaryInputs();
};

}  // namespace testbay::sim
