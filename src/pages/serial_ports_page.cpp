#include "pages/serial_ports_page.h"

#include <algorithm>
#include <cstdio>

#include "comm/line_failure.h"
#include "hwt/client_guard.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"

namespace testbay {
namespace {

// Firmware from this version on runs the extended communication tests.
constexpr int kFirstVersionWithExtendedTests = 9;
// The socket of an interface whose slot the client could not tell.
constexpr int32_t kUnknownSocket = 8;
// Type codes the page leaves out besides those past the type table.
constexpr int32_t kHiddenTypeCode = 1;
constexpr int32_t kProtectionChannels = 2;

bool IsListedType(int32_t code) {
    return code >= 0 && static_cast<size_t>(code) < SerialPortsPage::kTypeNames.size() && code != kHiddenTypeCode;
}

std::string TwoHexDigits(int32_t code) {
    char text[12];
    std::snprintf(text, sizeof(text), "%02X", static_cast<unsigned>(code));
    return text;
}

template <typename Items, typename Value>
int IndexOf(const Items& items, const Value& value) {
    const auto found = std::find(std::begin(items), std::end(items), value);
    return found == std::end(items) ? -1 : static_cast<int>(found - std::begin(items));
}

}  // namespace

const char* SocketLabel(int32_t socket) {
    switch (socket) {
    case -1: return "Front";
    case 1: return "Port B";
    case 2: return "Port C";
    case 3: return "Port D";
    case 4: return "Port E";
    default: return "?";
    }
}

void ResultLamp::Show(int result, int64_t nowMs) {
    image_ = result == 1 ? LampImage::Success : LampImage::Failure;
    restAtMs_ = nowMs + kPeriodMs;
}

bool ResultLamp::Expire(int64_t nowMs) {
    if (image_ == LampImage::Resting || nowMs < restAtMs_) return false;
    image_ = LampImage::Resting;
    return true;
}

int64_t ResultLamp::RemainingMs(int64_t nowMs) const {
    if (image_ == LampImage::Resting) return -1;
    return std::max<int64_t>(0, restAtMs_ - nowMs);
}

SerialPortsPage::SerialPortsPage(MsClock nowMs)
    : nowMs_(nowMs ? std::move(nowMs) : MsClock([] { return ProcessClock().NowMs(); })) {}

void SerialPortsPage::Initialise() {
    records_.clear();
    freeChannels_ = kAllChannelsFree;
    controls_ = SerialPortsControls{};
    const ClientUse use;
    if (CHwtV4Client* client = use.Client()) {
        // The refresh decides again as soon as an interface is listed.
        if (client->GetVersionNumber() >= kFirstVersionWithExtendedTests) controls_.extendedTestsEnabled = true;
        ReadInterfaces(*client);
    }
    if (!records_.empty()) controls_.selectedTab = 0;
    Refresh();
}

void SerialPortsPage::ReadInterfaces(CHwtV4Client& client) {
    int32_t count = 0;
    if (client.GetSerialPortCount(count) != 1) return;
    const int32_t listed = std::clamp<int32_t>(count, 0, static_cast<int32_t>(kMaxPorts));
    for (int32_t index = 0; index < listed; ++index) {
        int32_t code = 0;
        if (client.GetSerialPortID(index, code) != 1 || !IsListedType(code)) continue;
        PortRecord record;
        record.portIndex = index;
        record.identification = TwoHexDigits(code);
        record.typeName = kTypeNames[static_cast<size_t>(code)];
        int32_t socket = 0;
        int32_t address = 0;
        if (client.GetSerialPort(index, socket, address) != 1) socket = kUnknownSocket;
        records_.push_back(record);
        controls_.tabLabels.push_back(SocketLabel(socket));
    }
}

const PortRecord* SerialPortsPage::Current() const {
    const int tab = controls_.selectedTab;
    return tab >= 0 && static_cast<size_t>(tab) < records_.size() ? &records_[static_cast<size_t>(tab)] : nullptr;
}

PortRecord* SerialPortsPage::Current() {
    return const_cast<PortRecord*>(static_cast<const SerialPortsPage*>(this)->Current());
}

void SerialPortsPage::SelectTab(int tab) {
    if (tab < 0 || static_cast<size_t>(tab) >= records_.size()) return;
    controls_.selectedTab = tab;
    Refresh();
}

void SerialPortsPage::FillChannelChoices(const PortRecord& record) {
    controls_.channelChoices.clear();
    controls_.channelSelection = -1;
    for (int32_t channel = 0; channel < kProtectionChannels; ++channel) {
        const uint32_t bit = 1u << channel;
        if ((freeChannels_ & bit) != 0 || record.protectionMask == bit) controls_.channelChoices.push_back(channel);
    }
}

void SerialPortsPage::Refresh() {
    const PortRecord* record = Current();
    if (!record) return;
    controls_.portId = record->identification;
    controls_.typeName = record->typeName;
    controls_.baudSelection = IndexOf(kBaudRates, record->baudRate);
    FillChannelChoices(*record);

    const bool bound = record->Bound();
    const bool linkPort = record->portIndex == 0;
    if (bound || linkPort) {
        controls_.extendedTestsEnabled = false;
        controls_.protectionEnabled = false;
        controls_.channelEnabled = false;
        controls_.channelSelection = IndexOf(controls_.channelChoices, record->protectionChannel);
    }
    // Otherwise "Select port" keeps its enabled state: only the tick box changes it.
    controls_.testButtonEnabled = !linkPort;
    if (!bound && !linkPort) controls_.protectionEnabled = true;
    controls_.protectionChecked = bound;
    controls_.baudEnabled = !bound;
    controls_.testButtonLabel = bound ? kProtectionTestLabel : kSimpleTestLabel;
    if (!bound && !linkPort) controls_.extendedTestsEnabled = true;
}

void SerialPortsPage::SetProtectionTicked(bool ticked) {
    controls_.protectionChecked = ticked;
    if (Current()) controls_.channelEnabled = ticked;
}

void SerialPortsPage::ChooseChannel(int entry) {
    PortRecord* record = Current();
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!record || !client || record->Bound()) return;
    if (entry < 0 || static_cast<size_t>(entry) >= controls_.channelChoices.size()) return;
    const int32_t channel = controls_.channelChoices[static_cast<size_t>(entry)];
    const int result = client->WsInit(channel, record->portIndex);
    lamp_.Show(result, nowMs_());
    if (result == 1) {
        record->protectionMask = 1u << channel;
        record->protectionChannel = channel;
        freeChannels_ &= ~record->protectionMask;
    }
    Refresh();
}

void SerialPortsPage::ChooseBaudrate(int entry) {
    PortRecord* record = Current();
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!record || !client || entry < 0 || static_cast<size_t>(entry) >= kBaudRates.size()) return;
    record->baudRate = kBaudRates[static_cast<size_t>(entry)];
    controls_.baudSelection = entry;
    client->SetBaudrate(record->portIndex, static_cast<uint32_t>(record->baudRate));
    // SetBaudrate says 1 whatever happened, and a relay that did not answer
    // leaves no FAIL behind: only a last answer that passed is a success.
    const uint32_t status = client->DeviceStatus();
    lamp_.Show(status == kHwtPass || status == kHwtDone ? 1 : 0, nowMs_());
}

SerialPortsPage::TestAction SerialPortsPage::TestButtonAction() const {
    const PortRecord* record = Current();
    if (!record || record->portIndex == 0) return TestAction::None;
    return record->Bound() ? TestAction::ProtectionTest : TestAction::SimpleTest;
}

void SerialPortsPage::RunSimpleTest() {
    const PortRecord* record = Current();
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!record || !client || record->Bound()) return;
    int32_t ok = 0;
    if (client->TestSerialPort(record->portIndex, ok) != 1) ok = 0;
    lamp_.Show(ok, nowMs_());
}

std::optional<int32_t> SerialPortsPage::ExtendedTestsPort() const {
    const PortRecord* record = Current();
    if (!record || record->Bound() || record->portIndex == 0) return std::nullopt;
    return record->portIndex;
}

std::optional<int32_t> SerialPortsPage::ProtectionTestChannel() const {
    const PortRecord* record = Current();
    if (!record || !record->Bound()) return std::nullopt;
    return record->protectionChannel;
}

void SerialPortsPage::Guarded(SerialPortsWindow& window, const std::function<void()>& handler) {
    if (CatchLineFailure(handler)) lamp_.Show(0, nowMs_());
    window.ShowPage();
}

void SerialPortsPage::PressTestButton(SerialPortsWindow& window) {
    Guarded(window, [this, &window] {
        switch (TestButtonAction()) {
        case TestAction::SimpleTest: window.RunBusy([this] { RunSimpleTest(); }); break;
        case TestAction::ProtectionTest:
            if (const auto channel = ProtectionTestChannel()) window.OpenProtectionTest(*channel);
            break;
        case TestAction::None: break;
        }
    });
}

void SerialPortsPage::PressExtendedTests(SerialPortsWindow& window) {
    Guarded(window, [this, &window] {
        if (const auto port = ExtendedTestsPort()) window.OpenExtendedTests(*port);
    });
}

}  // namespace testbay
