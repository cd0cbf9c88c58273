#include "automation/automation_document.h"

#include <algorithm>

#include "automation/automation_types.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "comm/channel.h"
#include "device/enter_hardwaretest.h"
#include "hwt/client_guard.h"
#include "platform/clock.h"
#include "tools/decimal_text.h"

namespace testbay {
namespace {

constexpr int kSamples = 10;
constexpr size_t kThbBufferSize = 256;
constexpr size_t kThbFieldSize = 4;
constexpr int32_t kThbUnknown = 32768;
constexpr size_t kSabWords = 8;

int32_t ThbFieldValue(const std::string& buffer, size_t field) {
    const size_t offset = field * kThbFieldSize;
    const std::string text = offset < buffer.size() ? buffer.substr(offset, kThbFieldSize) : std::string();
    if (text.empty()) return 0;
    switch (text[0]) {
    case '*': return 980;
    case '-': return 999;
    case '?': return kThbUnknown;
    case '~': return -999;
    default: break;
    }
    // The box pads its numbers with blanks: " 25 " is 25.
    return ReadDecimal(std::string_view(text).substr(0, 3));
}

}  // namespace

CTESTBAYDoc::~CTESTBAYDoc() {
    client_.reset();
    ComClose(channel_);
    for (const int channel : leftChannels_) ComClose(channel);
}

int CTESTBAYDoc::EnterHardwaretest() {
    const int comNumber = ReadIniInt(settings::kComPort.section, settings::kComPort.key,
                                     settings::kComPort.defaultValue, settings::kProgramFile);
    // A port that cannot be opened would beep at a desk; the automation server
    // has no window and no sound, and its output carries only the replies.
    return EnterHardwaretestAtPort(comNumber);
}

int CTESTBAYDoc::EnterHardwaretestAtPort(int comNumber) { return std::max(Connect(comNumber), 0); }

// -1 when the port cannot be opened, 0 while a test run has the client.
int CTESTBAYDoc::Connect(int comNumber) {
    // A test run may be talking through the client that this one replaces.
    const ClientUse use;
    if (!use.Granted()) {
        EntryFailed("a communication test has the relay");
        return 0;
    }
    int channel = -1;
    std::string failure;
    if (!ComOpen(comNumber, channel, failure)) {
        EntryFailed(failure);
        return -1;
    }
    // An earlier connection that was not ended keeps its channel open.
    if (channel_ >= 0) leftChannels_.push_back(channel_);
    channel_ = channel;
    client_.reset();
    foundState_ = kStateUnknown;
    client_ = std::make_unique<CHwtV4Client>(channel_);
    const int result = testbay::EnterHardwaretest(*client_, failure);
    if (result != 1) {
        EntryFailed(failure);
        return result;
    }
    foundState_ = client_->KnownDeviceState();
    lastErrorText_.clear();
    entryFailureUntold_ = false;
    return result;
}

// Keeps the reason for GetLastErrorText and for the reply of this call.
void CTESTBAYDoc::EntryFailed(std::string reason) {
    lastErrorText_ = std::move(reason);
    entryFailureUntold_ = true;
}

std::optional<std::string> CTESTBAYDoc::TakeEntryFailure() {
    if (!entryFailureUntold_) return std::nullopt;
    entryFailureUntold_ = false;
    return lastErrorText_;
}

int CTESTBAYDoc::ExitHardwaretest() {
    const ClientUse use;
    if (!use.Granted()) return 0;
    Disconnect();
    return 1;
}

int CTESTBAYDoc::LeaveHardwaretest() {
    const ClientUse use;
    if (!use.Granted()) return 0;
    try {
        if (client_) ReturnToFoundState(*client_, foundState_);
    } catch (const CComExeption&) {
        Disconnect();
        throw;
    }
    Disconnect();
    return 1;
}

void CTESTBAYDoc::Disconnect() {
    ComClose(channel_);
    channel_ = -1;
    client_.reset();
    foundState_ = kStateUnknown;
}

int CTESTBAYDoc::GetAverageChannelValue(int32_t channel, int32_t& a, int32_t& average) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    int32_t samples[kSamples];
    for (int32_t& sample : samples) {
        if (client->GetChannelValue(channel, a, sample) != 1) return 0;
    }
    // Both extremes are dropped; the largest is searched from the smallest
    // number so that negative samples lose theirs too.
    const int32_t* smallest = std::min_element(std::begin(samples), std::end(samples));
    const int32_t* largest = std::max_element(std::begin(samples), std::end(samples));
    int64_t sum = 0;
    int64_t count = 0;
    for (const int32_t& sample : samples) {
        if (&sample == smallest || &sample == largest) continue;
        sum += sample;
        ++count;
    }
    if (count == 0) return 0;
    average = static_cast<int32_t>((sum + count / 2) / count);
    return 1;
}

int CTESTBAYDoc::GetAveragePhaseDifference(int32_t channel1, int32_t channel2, double& degrees) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    double samples[kSamples];
    for (double& sample : samples) {
        if (client->GetPhaseDifference(channel1, channel2, sample) != 1) return 0;
    }
    // Around ±180 degrees the negative samples join the positive ones.
    if (samples[0] > 170.0 || samples[0] < -170.0) {
        for (double& sample : samples) {
            if (sample < 0) sample += 360.0;
        }
    }
    int smallest = -1;
    int largest = -1;
    double smallestValue = 360.0;
    double largestValue = -360.0;
    for (int index = 0; index < kSamples; ++index) {
        if (samples[index] < smallestValue) smallestValue = samples[smallest = index];
        if (samples[index] > largestValue) largestValue = samples[largest = index];
    }
    double sum = 0;
    int count = 0;
    for (int index = 0; index < kSamples; ++index) {
        if (index == smallest || index == largest) continue;
        sum += samples[index];
        ++count;
    }
    if (count == 0) return 0;
    degrees = sum / count;
    return 1;
}

std::optional<std::string> CTESTBAYDoc::GetChannelName(int32_t channel) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return std::nullopt;
    int32_t type = 0, b = 0, c = 0, value = 0, board = 0;
    if (client->GetChannelInfo(channel, type, b, c, &value, &board) == 0) return std::nullopt;
    return ChannelNameText(type, board, value);
}

int CTESTBAYDoc::ThbTemp(int32_t box, std::array<int32_t*, 6> temperatures) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    std::string buffer;
    const int status = client->ThbTemp(box, buffer, kThbBufferSize);
    for (size_t field = 0; field < temperatures.size(); ++field) {
        *temperatures[field] = status == 1 ? ThbFieldValue(buffer, field) : kThbUnknown;
    }
    return status;
}

int32_t CTESTBAYDoc::ReadByte(int32_t index, uint32_t address) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return -1;
    std::vector<uint8_t> byte;
    if (client->ReadMemory(index, address, 1, byte) != 1 || byte.empty()) return -1;
    return static_cast<int8_t>(byte[0]);
}

int CTESTBAYDoc::WriteByte(int32_t index, uint32_t address, int32_t value) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    const uint8_t byte = static_cast<uint8_t>(value);
    return client->WriteMemory(index, address, std::span<const uint8_t>(&byte, 1));
}

int CTESTBAYDoc::Sleep(int32_t milliseconds) {
    // Sleeps rather than spins: the same wait without burning a core.
    if (milliseconds >= 0) ProcessClock().SleepMs(int64_t{milliseconds} + 1);
    return 1;
}

int32_t CTESTBAYDoc::CalculateOffsetEx(int32_t channel) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    int32_t offset = 0;
    if (client) client->CalculateOffset(channel, offset);
    return offset;
}

int CTESTBAYDoc::GetCpuId(int32_t& a, int32_t& b, int32_t& c, std::string& text, int32_t& d) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    uint8_t byteA = 0, byteB = 0, byteC = 0;
    int32_t value = 0;
    std::string cpuText;
    if (client->GetCpuId(byteA, byteB, byteC, cpuText, value) != 1) return 0;
    a = byteA;
    b = byteB;
    c = byteC;
    d = value;
    CopyInPlace(text, cpuText);
    return 1;
}

int CTESTBAYDoc::GetSabStatus(int32_t index, int32_t& value) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return 0;
    int32_t words[kSabWords] = {};
    int32_t count = 0;
    if (client->SabStatus(words, count) != 1 || index < 0 || index >= count) return 0;
    value = words[index];
    return 1;
}

}  // namespace testbay
