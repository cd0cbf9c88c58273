#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hwt/hwt_client.h"

namespace testbay {

// The automation object: the automation's serial channel and client, and the
// methods that do more than forward one client operation. Every other method
// acts on the process's current client. While a communication test runs on
// the client, every method that would use or replace it fails as without a
// connection.
class CTESTBAYDoc {
public:
    CTESTBAYDoc() = default;
    // Lets go of a client that is left and closes the channels.
    ~CTESTBAYDoc();
    CTESTBAYDoc(const CTESTBAYDoc&) = delete;
    CTESTBAYDoc& operator=(const CTESTBAYDoc&) = delete;

    // Opens the stored "ComPort", makes a new client on it and brings the
    // relay into the hardware test; 0 when the port cannot be opened.
    int EnterHardwaretest();
    // The same on COM<comNumber>.
    int EnterHardwaretestAtPort(int comNumber);
    // Closes the port and lets go of the client; the relay stays in the
    // hardware test.
    int ExitHardwaretest();
    // Why the last entry failed: the port's reason, or what answered and what
    // was tried. "" before any entry and after one that succeeded.
    const std::string& LastErrorText() const { return lastErrorText_; }
    // The reason of an entry that failed since the last call, once: the
    // server hands it to its client with that entry's reply.
    std::optional<std::string> TakeEntryFailure();
    // Restarts the relay into the firmware the last successful entry found it
    // in (as closing the window's last sheet does), then closes as
    // ExitHardwaretest does.
    int LeaveHardwaretest();

    int GetAverageChannelValue(int32_t channel, int32_t& a, int32_t& average);
    int GetAveragePhaseDifference(int32_t channel1, int32_t channel2, double& degrees);
    std::optional<std::string> GetChannelName(int32_t channel);
    int ThbTemp(int32_t box, std::array<int32_t*, 6> temperatures);
    int32_t ReadByte(int32_t index, uint32_t address);
    int WriteByte(int32_t index, uint32_t address, int32_t value);
    int Sleep(int32_t milliseconds);
    int32_t CalculateOffsetEx(int32_t channel);
    int GetCpuId(int32_t& a, int32_t& b, int32_t& c, std::string& text, int32_t& d);
    int GetSabStatus(int32_t index, int32_t& value);

    int Channel() const { return channel_; }

private:
    int Connect(int comNumber);
    void EntryFailed(std::string reason);
    void Disconnect();

    int channel_ = -1;
    // The state the last successful entry found the relay in.
    uint32_t foundState_ = kStateUnknown;
    // Channels that an earlier connection left open; closed with the document.
    std::vector<int> leftChannels_;
    std::unique_ptr<CHwtV4Client> client_;
    std::string lastErrorText_;
    bool entryFailureUntold_ = false;
};

}  // namespace testbay
