#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "hwt/hwt_frame_receiver.h"
#include "hwt/hwt_request.h"
#include "protocol/device_states.h"
#include "protocol/hwt_protocol.h"

namespace testbay {

// Client of the relay's hardware-test firmware on one serial channel. Every
// command is one request telegram and one response, repeated on time-outs and
// checksum errors; results land in ten field slots.
class CHwtV4Client {
public:
    static constexpr size_t kFieldSlots = 10;
    static constexpr size_t kFieldTextSize = kHwtFieldTextSize;
    static constexpr size_t kBlockSize = kHwtBlockSize;
    static constexpr uint32_t kDefaultAttempts = 4;
    static constexpr uint32_t kPcTimeoutRunLimit = 10;
    static constexpr size_t kResponseCopySize = 260;
    // The rates FindBaudrate tries, in order, without parity.
    static constexpr std::array<uint32_t, 4> kSearchRates = {38400, 57600, 115200, 153600};

    // Becomes the current client; does not own the channel.
    explicit CHwtV4Client(int channel, uint32_t unused = 0);
    // The client that was current before this one is current again.
    ~CHwtV4Client();
    CHwtV4Client(const CHwtV4Client&) = delete;
    CHwtV4Client& operator=(const CHwtV4Client&) = delete;

    // One command exchange; 1 for PASS or DONE, 0 otherwise. A time-out of 0
    // sends without listening and returns 1.
    int telegramm(uint8_t command, std::span<const HwtField> fields, int timeoutMs);
    int telegramm(uint8_t command, std::initializer_list<HwtField> fields, int timeoutMs) {
        return telegramm(command, std::span<const HwtField>(fields.begin(), fields.size()), timeoutMs);
    }
    // Fills the field slots from a received frame; 0 for a frame shorter than 3.
    int parse(const uint8_t* frame, size_t length);

    // Link maintenance (hwt_client.cpp). The entry into the hardware test from
    // any state is EnterHardwaretest of device/enter_hardwaretest.h.
    int FindBaudrate();
    int CheckHwt();
    int ReduceBaudrate();

    // Exit, reset and level (entry.cpp), identity (identity.cpp), clock
    // (clock.cpp), watchdog and error records (errors.cpp).
    int ExitHardwareTest();
    int Reset(int32_t mode);
    int GetCPU(std::string& text);
    int GetHWVersion(std::string& text);
    int GetVersion(int32_t index, std::string& text);
    int GetVersionNumber();
    int GetMLFB(std::string& text);
    int SetMLFB(const std::string& text);
    int GetSerialNumber(std::string& text);
    int SetSrialNumber(const std::string& text);
    // `text` gets at most 11 characters.
    int GetCpuId(uint8_t& a, uint8_t& b, uint8_t& c, std::string& text, int32_t& d);
    int SetCpuId(int32_t a, int32_t b, int32_t c, const std::string& text);
    int GetDate(int32_t& day, int32_t& month, int32_t& year, int32_t& hour, int32_t& minute, int32_t& second);
    int SetDate(int32_t day, int32_t month, int32_t year, int32_t hour, int32_t minute, int32_t second);
    int SetTimeCodeFormat(int32_t format);
    int GetTimeCodeSignal(int32_t& signal);
    int GetTimeCode(int32_t& day, int32_t& month, int32_t& year, int32_t& hour, int32_t& minute, int32_t& second,
                    int32_t& status);
    int GetWatchdogTime(int32_t& time, int32_t arg);
    int TestWatchdogPattern();
    int SetLevel(const std::string& text);
    int GetErrorCount(int32_t& count);
    int GetErrorCount(int32_t list, int32_t& count);
    int GetError(int32_t index, std::string& text0, int32_t& value2, int32_t& value3, std::string& text4,
                 std::string& text1);
    int GetError(int32_t list, int32_t index, std::string& buffer, size_t size);

    // Front panel (front_panel.cpp).
    int GetLedCount(int32_t& count);
    int GetLed(int32_t led, int32_t& on);
    int SetLed(int32_t led, int32_t on);
    int SetLeds(int32_t pattern);
    int SetGok(int32_t on);
    int GetKeyswitch(int32_t keyswitch, int32_t& state);
    int InitDisplay();
    int SetDisplay(int32_t pattern);
    int SetDisplayLight(int32_t on);
    int SetDisplayContrast(int32_t value);
    int GetDisplayContrast();
    int EnterKeyboardtest();
    int ExitKeyboardtest();
    int GetKeyPressed(int32_t& pressed, int32_t& key);

    // Relays and binary inputs (binary_io.cpp).
    int GetRelayCount(int32_t& count);
    int GetRelay(int32_t relay, int32_t& on);
    int GetRelayInfo(int32_t relay, int32_t& a, int32_t& b);
    int SetRelay(int32_t relay, int32_t on);
    int SetRelayMask(int32_t mask0, int32_t mask1);
    int GetRelaySpeed(int32_t& a, int32_t& b, int32_t& c);
    int GetBinaryInputCount(int32_t& count);
    int GetBinaryInput(int32_t input, int32_t& on);
    int GetBinaryInputInfo(int32_t input, int32_t& a, int32_t& b);
    int GetBinaryInputMask(int32_t& mask0, int32_t& mask1);
    int GetBinaryInputMask();
    // Copies at most the field slots that exist.
    int GetBinaryInputMaskArray(std::span<int32_t> first, std::span<int32_t> second, int32_t count);
    int GetBinaryInputMaskAvailable(int32_t& mask0, int32_t& mask1, int32_t& mask2);
    // Bit i mod 32 of word i / 32; inputs beyond the words given are left out.
    int GetBinaryInputMaskAvailable(std::span<uint32_t> bits);

    // Memory (memory.cpp).
    int GetMemoryCount(int32_t& count);
    int GetMemoryInfo(int32_t index, int32_t& a, int32_t& b, int32_t& c, int32_t& attributes, int32_t& flag1,
                      int32_t& flag2);
    // `buffer` receives `length` bytes, as far as the answer carried them.
    int ReadMemory(int32_t index, uint32_t address, uint32_t length, std::vector<uint8_t>& buffer);
    int ReadMemoryAligned16(int32_t index, uint32_t address, uint32_t length, std::vector<uint8_t>& buffer);
    int WriteMemory(int32_t index, uint32_t address, std::span<const uint8_t> data);
    int TestMemory(int32_t index, uint32_t address, uint32_t length, int32_t& ok);
    int EraseMemory(int32_t index, uint32_t address, uint32_t length, int32_t& ok);
    int XorMemory(int32_t index, uint32_t address, uint32_t length, int32_t& checksum);
    int HwtCopyMemory(int32_t a, int32_t b, int32_t c, int32_t& ok);
    int Jump(uint32_t address);
    int GetParAdr(int32_t& a, int32_t& b, int32_t& c, int32_t& d);
    int GetDprInfo(int32_t port, std::vector<uint8_t>& buffer, uint32_t length);

    // Supplies and analog channels (analog.cpp).
    int GetSupplyCount(int32_t& count);
    int GetSupplyValue(int32_t supply, std::string& name, int32_t& low, int32_t& high, int32_t& value);
    int TestSupplies(int32_t& ok);
    int TestBattery(int32_t& ok);
    int PowerFail(int32_t& value);
    int GetChannelcount(int32_t& count);
    int GetChannelValue(int32_t channel, int32_t& a, int32_t& b);
    int GetAverageChannelValue(int32_t channel, int32_t& a, int32_t& b);
    int GetCurrent(int32_t channel, double& value);
    int GetVoltage(int32_t channel, double& value);
    // `value` and `board` may be null.
    int GetChannelInfo(int32_t channel, int32_t& type, int32_t& b, int32_t& c, int32_t* value, int32_t* board);
    int GetChannelName(int32_t channel, std::string& text);
    int Freeze();
    int Adc(int32_t a, int32_t b, int32_t c, int32_t& value);
    int SetAduMode(int32_t mode);
    int SetAduMode(int32_t mode, double frequency);
    int GetChannelAmplifyCount(int32_t channel, int32_t& count);
    int GetCurrentAmplify(int32_t channel, int32_t n, int32_t& range);
    int SetCurrentAmplify(int32_t channel, int32_t range);
    int SetFrequency(double frequency);
    int GetTransducerCount(int32_t& count);
    int GetTransducerValue(int32_t transducer, int32_t& a, int32_t& b);
    int GetMinmaxValuesPP(int32_t channel, int32_t b, int32_t& min, int32_t& max);
    int GetMinmaxValues(int32_t channel, int32_t b, int32_t& min, int32_t& max);
    int ResetMinmaxValues();
    int GetPhaseDifference(int32_t channel1, int32_t channel2, double& degrees);
    int GetAveragePhaseDifference(int32_t channel1, int32_t channel2, double& degrees);
    int GetAmpl(int32_t channel, double frequency, int32_t& value);

    // Calibration, offsets and analog outputs (calibration.cpp).
    int SetCalibrationValue(int32_t a, int32_t b, int32_t c, double x, double y);
    int GetCalibrationValue(int32_t a, int32_t b, int32_t c, double& x, double& y);
    int StoreCalibrationValues();
    int SetCalDefaults();
    int SetCalSid(int32_t a, int32_t b);
    int SetCalRef(int32_t board, const std::string& text, int32_t value);
    int GetCalPara(int32_t board, int32_t& a, std::string& text, int32_t& value);
    int FindCalibrationChannel(int32_t& packed, int32_t& channel);
    int GetOffset(int32_t channel, int32_t& offset);
    int SetOffset(int32_t channel, int32_t offset);
    int SetOffset();
    int SetAutoOffsetMode(int32_t on);
    int CalculateOffset(int32_t channel, int32_t& offset);
    int GetAnalogOutputProperties(int32_t output, int32_t& a, int32_t& b, int32_t& c);
    int GetAnalogOutput(int32_t output, int32_t b, int32_t& value);
    int SetAnalogOutput(int32_t output, int32_t b, int32_t value);

    // Thermobox, WS interface and SAB bus tests (interface_tests.cpp).
    int ThbInit(int32_t box);
    int ThbTemp(int32_t box, std::string& text, size_t size);
    int WsInit(int32_t a, int32_t b);
    int WsPara(int32_t a, int32_t b, int32_t c);
    // Every out-parameter may be null.
    int WsTest(int32_t a, int32_t mode, int32_t* ok, int32_t* x, int32_t* y, std::string* text, int32_t* z);
    int SabPara(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e);
    int SabStatus(std::span<int32_t> values, int32_t& count);

    // The relay's serial ports (serial_ports.cpp).
    int GetSerialPortCount(int32_t& count);
    int GetSerialPortID(int32_t port, int32_t& id);
    int GetSerialPort(int32_t slot, int32_t& socket, int32_t& address);
    int GetSerialPortNumber(int32_t slot, int32_t& socket);
    int Socket2Com(int32_t socket, int32_t& slot);
    int SetBaudrate(int32_t port, uint32_t baud);
    int SetSerialPortParameter(int32_t port, const std::string& text);
    int Send(int32_t port, std::span<const uint8_t> data);
    int Receive();
    int TestSerialPort(int32_t port, int32_t& ok);
    int TestSerialPortEx(int32_t port, int32_t& ok);
    int TestSerialPortEx1(int32_t port, int32_t b, int32_t c, int32_t d, int32_t& ok);
    int TestSerialPortEx2(int32_t port, int32_t b, std::span<const uint8_t> text, int32_t e, int32_t& ok);

    // System bus and plug-in modules (bus_modules.cpp).
    int GetBusInfo(int32_t board, int32_t& a, int32_t& b, int32_t& c, int32_t& d);
    int GetBusBits(int32_t& a, int32_t& b);
    int GetBusStatistics(int32_t board, int32_t& events, int32_t& runtime);
    int GetModuleInfo(int32_t module, int32_t& info);
    int GetModul(int32_t module, int32_t& a, int32_t& b, int32_t& c, int32_t& d, int32_t& e);
    int ModuleReset(int32_t module);
    int TestCommunicationModule(int32_t module, int32_t b, int32_t& result);
    int Nk300GetSerialNumber(int32_t module, std::string& text, size_t size);
    int Nk300GetMacAdr(int32_t module, std::string& text);

    // HDLC test functions (hdlc.cpp).
    int HdlcStart();
    int HdlcFreeze();
    int GetHdlcStatus(int32_t& a, int32_t& b, int32_t& c);
    int HdlcRead(int32_t a, int32_t b, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer);
    int HdlcReadAlt(int32_t a, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer);
    int HdlcDecode(int32_t a, int32_t b, int32_t& length, std::vector<uint8_t>& buffer);
    int HdlcDecodeAlt(int32_t a, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer);
    int HdlcBin(int32_t a, int32_t b);
    int HdlcTrigger(int32_t a, int32_t b);
    int SetHdlcParam(int32_t a, int32_t b, int32_t c, int32_t& r);
    int SetHdlcParamAlt(int32_t a, int32_t b, int32_t& r);

    int Channel() const { return channel_; }
    int32_t Field(size_t index) const { return index < kFieldSlots ? values_[index] : 0; }
    const char* FieldText(size_t index) const { return index < kFieldSlots ? texts_[index] : ""; }
    const uint8_t* BlockData() const { return block_; }
    uint8_t BlockLength() const { return blockLength_; }
    uint32_t FieldCount() const { return fieldCount_; }
    uint32_t DeviceStatus() const { return deviceStatus_; }
    void SetDeviceStatus(uint32_t status) { deviceStatus_ = status; }
    uint32_t AttemptLimit() const { return attemptLimit_; }
    void SetAttemptLimit(uint32_t limit) { attemptLimit_ = limit; }
    uint32_t PcTimeoutRun() const { return pcTimeoutRun_; }
    uint32_t KnownDeviceState() const { return deviceState_; }
    void SetKnownDeviceState(uint32_t state) { deviceState_ = state; }

private:
    // Lowers the attempt limit for one operation; the default comes back
    // even when the channel throws.
    class ScopedAttemptLimit {
    public:
        ScopedAttemptLimit(CHwtV4Client& client, uint32_t limit) : client_(client) { client_.attemptLimit_ = limit; }
        ~ScopedAttemptLimit() { client_.attemptLimit_ = kDefaultAttempts; }
        ScopedAttemptLimit(const ScopedAttemptLimit&) = delete;
        ScopedAttemptLimit& operator=(const ScopedAttemptLimit&) = delete;

    private:
        CHwtV4Client& client_;
    };

    void ClearTexts();
    // Called before a command that reads the block: only a block of its own
    // answer counts, never one left by an earlier command.
    void ForgetBlock() { blockLength_ = 0; }
    // Firmware that does not know the identity writes leaves them to the
    // boot system (boot_system_writes.cpp).
    int SetMlfbThroughBootSystem(const std::string& text);
    int SetSerialNumberThroughBootSystem(const std::string& text);
    // Handles a complete response with a good checksum; true to repeat.
    bool AcceptResponse(uint8_t command);
    // After a call in which a transmission got no answer of its own, that
    // answer may still be on its way; it must not become this call's answer.
    void DrainLateAnswers();
    void NoteLateAnswers(int timeoutMs, int64_t lastFrameMs);

    int channel_;
    int32_t values_[kFieldSlots] = {};
    uint8_t block_[kBlockSize + 1] = {};
    uint8_t blockLength_ = 0;
    uint32_t attemptLimit_ = kDefaultAttempts;
    char texts_[kFieldSlots][kFieldTextSize] = {};
    uint32_t fieldCount_ = 0;
    uint32_t deviceStatus_ = kHwtTimeout;
    uint32_t pcTimeoutRun_ = 0;
    int result_ = 0;
    uint32_t deviceState_ = kStateUnknown;
    // A transmission of this call got no answer of its own: a time-out, or
    // another request's answer in its place.
    bool answerOwed_ = false;
    // How long the line must stay quiet before the next call; 0 for none.
    int lateAnswerWindowMs_ = 0;
    // The rate those late answers would come at.
    uint32_t lateAnswerBaud_ = 0;
    HwtFrameReceiver receiver_;
};

// A channel's name, "<board>:<letter><number>": the channel type gives the
// letter and the value the number counts from.
std::string ChannelNameText(int32_t type, int32_t board, int32_t value);

// The most recently constructed client that still lives, or nullptr.
CHwtV4Client* CurrentHwtClient();

}  // namespace testbay
