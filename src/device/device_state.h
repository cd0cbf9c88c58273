#pragma once

#include <cstdint>

namespace testbay {

// Which firmware a relay runs (DeviceState in protocol/device_states.h), learnt by
// probing each with a fresh client of its protocol.

// `state` holds the state to probe first and gets the state found, or 4.
// Returns 0 when a state was found, 4 when none was.
int GetDeviceState(int channel, uint32_t& state);
// Brings the relay from `from` into `to` (only to = 3, wait = 1, restart = 0
// is used); returns the state reached, 4 when the change was not confirmed.
uint32_t SetDeviceState(int channel, uint32_t from, uint32_t to, uint32_t wait, uint32_t restart);
// 0 when the hardware-test firmware answered within 15 tries of 300 ms.
int WaitHwt(int channel);

}  // namespace testbay
