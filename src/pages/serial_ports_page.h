#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testbay {

class CHwtV4Client;

// One of the relay's serial interfaces as the page lists it.
struct PortRecord {
    int32_t portIndex = 0;       // the relay's own number of the interface
    std::string identification;  // type code, "%02X"
    const char* typeName = "";
    int32_t baudRate = 38400;
    uint32_t protectionMask = 0;  // 1 << channel once bound as a protection interface
    int32_t protectionChannel = 0;

    bool Bound() const { return protectionMask != 0; }
};

// The images of the result lamp.
enum class LampImage { Resting, Success, Failure };

// Shows the last result for a fixed period, then rests; a new result starts
// the full period again. Time comes from the caller.
class ResultLamp {
public:
    static constexpr int64_t kPeriodMs = 2000;

    void Show(int result, int64_t nowMs);
    // Rests once the period is over; true when the image changed.
    bool Expire(int64_t nowMs);
    LampImage Image() const { return image_; }
    // Milliseconds until the lamp rests, or -1 while it rests.
    int64_t RemainingMs(int64_t nowMs) const;

private:
    LampImage image_ = LampImage::Resting;
    int64_t restAtMs_ = 0;
};

// What the page's controls show.
struct SerialPortsControls {
    std::vector<std::string> tabLabels;
    int selectedTab = -1;
    std::string portId;
    std::string typeName;
    int baudSelection = -1;  // index into kBaudRates
    bool baudEnabled = true;
    std::string testButtonLabel = "Simple &Test";
    bool testButtonEnabled = true;
    bool extendedTestsEnabled = false;
    bool protectionChecked = false;
    bool protectionEnabled = true;
    std::vector<int32_t> channelChoices;  // the "Select port" entries
    int channelSelection = -1;
    bool channelEnabled = false;
};

// What the page asks of the window it sits in.
class SerialPortsWindow {
public:
    virtual ~SerialPortsWindow() = default;
    // Brings the controls and the lamp up to date with the page.
    virtual void ShowPage() = 0;
    // Runs the relay's own test, which takes a while, under the wait cursor.
    virtual void RunBusy(const std::function<void()>& work) = 0;
    // The communication-test dialogs, modal.
    virtual void OpenProtectionTest(int32_t channel) = 0;
    virtual void OpenExtendedTests(int32_t portIndex) = 0;
};

// The logic of the serial ports page: the relay's interfaces, their baud
// rates and their binding as protection-interface channels, and the result
// lamp. Every command goes to the current hardware-test client; without one,
// or while a communication test runs on it, the handlers do nothing.
class SerialPortsPage {
public:
    using MsClock = std::function<int64_t()>;

    static constexpr size_t kMaxPorts = 8;
    static constexpr uint32_t kAllChannelsFree = 0x3;
    static constexpr std::array<int32_t, 6> kBaudRates = {9600, 19200, 38400, 57600, 115200, 230400};
    // Indexed by type code.
    static constexpr std::array<const char*, 8> kTypeNames = {"RS232", "ID1", "RS485", "ID3",
                                                              "LWL",   "FO5", "FO6",   "FO7/8"};
    static constexpr const char* kSimpleTestLabel = "Simple &Test";
    static constexpr const char* kProtectionTestLabel = "&Test Protection Interface ...";

    // The lamp's time source; the process clock when none is given.
    explicit SerialPortsPage(MsClock nowMs = {});

    // Reads the interfaces once and shows the first.
    void Initialise();
    void SelectTab(int tab);
    // "Use as protection interface" ticked or cleared by the user.
    void SetProtectionTicked(bool ticked);
    // A channel chosen in "Select port": binds the interface with WsInit.
    void ChooseChannel(int entry);
    // A rate chosen in "Select Baudrate".
    void ChooseBaudrate(int entry);
    // Every handler of a window runs through here: a line that went away ends
    // it with the failure lamp, and the window shows the page afterwards.
    void Guarded(SerialPortsWindow& window, const std::function<void()>& handler);
    // The test button: the simple test of a plain interface, the
    // protection-interface test of a bound one.
    void PressTestButton(SerialPortsWindow& window);
    // "Extended Tests...": the extended tests of a plain interface.
    void PressExtendedTests(SerialPortsWindow& window);

    const SerialPortsControls& Controls() const { return controls_; }
    const std::vector<PortRecord>& Records() const { return records_; }
    uint32_t FreeChannelMask() const { return freeChannels_; }
    ResultLamp& Lamp() { return lamp_; }
    int64_t NowMs() const { return nowMs_(); }

private:
    enum class TestAction { None, SimpleTest, ProtectionTest };

    // What the test button does for the current interface.
    TestAction TestButtonAction() const;
    // The relay's own test of the current plain interface; shows its result.
    void RunSimpleTest();
    // The port index for the extended tests, none for a bound interface.
    std::optional<int32_t> ExtendedTestsPort() const;
    // The channel the current bound interface is tested on.
    std::optional<int32_t> ProtectionTestChannel() const;
    void ReadInterfaces(CHwtV4Client& client);
    void Refresh();
    void FillChannelChoices(const PortRecord& record);
    PortRecord* Current();
    const PortRecord* Current() const;

    MsClock nowMs_;
    std::vector<PortRecord> records_;
    uint32_t freeChannels_ = kAllChannelsFree;
    SerialPortsControls controls_;
    ResultLamp lamp_;
};

// The tab label for a socket number: "Front", "Port B" … "Port E", else "?".
const char* SocketLabel(int32_t socket);

}  // namespace testbay
