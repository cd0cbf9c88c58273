#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comm/com_exception.h"
#include "comm/frame_receiver.h"
#include "comm/serial_port.h"

namespace testbay {

// One row of the process-wide channel table. Rows are never removed: a closed
// channel keeps its row with a null port, so indices are never reused.
struct ChannelEntry {
    std::shared_ptr<SerialPort> port;
    int comNumber = 0;
};

// Exchange results of ComTransact (the first three are the receiver's).
constexpr int kExchangeComplete = FrameReceiver::kComplete;
constexpr int kExchangeBadChecksum = FrameReceiver::kBadChecksum;
constexpr int kExchangeSentOnly = FrameReceiver::kIncomplete;
constexpr int kExchangeTimeout = 3;

// A time-out of -1 waits for a complete frame without limit.
constexpr int kNoTimeLimit = -1;

int ComOpen(int comNumber, int& channel);
// The same; when the port cannot be opened, `failure` says why (and the
// trace has it too).
int ComOpen(int comNumber, int& channel, std::string& failure);
void ComClose(int channel);
int ComBaud(int channel, uint32_t baud);
void ComParity(int channel, int parity, int stopBits);
uint32_t ComGetBaud(int channel);
int ComGetPortNumber(int channel);
// "COM<n> (<device>)" for the user ("" for a bad channel).
std::string ComPortLabel(int channel);
uint32_t ComTakeByteCount(int channel);
void ComReopen(int channel);
int ComOpenCount();
int ComLastChannel();
void ComWait(int channel, int milliseconds);
// Drains up to 256 waiting bytes, sends `request`, then feeds what arrives to
// `receiver` until it reports a complete frame or the time is up. Throws
// CComExeption for a bad or closed channel.
int ComTransact(int channel, const uint8_t* request, uint32_t requestLength, int timeoutMs, FrameReceiver* receiver);
// Reads and drops what arrives until nothing has come for `quietMs`; a line
// that never falls quiet is given up on after a bound. Returns the dropped
// bytes (at most a receiver's raw buffer of them) for the trace. Throws
// CComExeption for a bad or closed channel.
std::vector<uint8_t> ComDrainQuiet(int channel, int quietMs);

// Opens a channel on a port made elsewhere (the virtual relay's in-memory
// line); -1 when the port is not open.
int ComAttach(std::unique_ptr<SerialPort> port, int comNumber);

}  // namespace testbay
