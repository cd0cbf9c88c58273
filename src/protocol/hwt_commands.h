#pragma once

#include <cstdint>

// The hardware-test command codes, shared by the client and the virtual relay
// so that both sides always speak the same codes.
namespace testbay {

// Output relays and binary inputs.
constexpr uint8_t kRelayCommand = 0x0B;
constexpr uint8_t kBinaryInputCommand = 0x0C;
constexpr uint8_t kRelayMaskCommand = 0x10;
constexpr uint8_t kBinaryInputMaskCommand = 0x11;

// Front panel: LEDs, display, keys.
constexpr uint8_t kLedCommand = 0x0E;
constexpr uint8_t kGokCommand = 0x0F;
constexpr uint8_t kDisplayCommand = 0x1F;
constexpr uint8_t kKeyswitchCommand = 0x21;
constexpr uint8_t kKeyPressedCommand = 0x22;
constexpr uint8_t kContrastCommand = 0x23;
constexpr uint8_t kDisplayLightCommand = 0x24;

// Memories of the CPU and of the modules.
constexpr uint8_t kMemoryCountCommand = 0x15;
constexpr uint8_t kMemoryInfoCommand = 0x16;
constexpr uint8_t kReadCommand = 0x17;
constexpr uint8_t kWriteCommand = 0x18;
constexpr uint8_t kEraseCommand = 0x19;
constexpr uint8_t kTestCommand = 0x1A;
constexpr uint8_t kCopyCommand = 0x1B;
constexpr uint8_t kJumpCommand = 0x1C;
constexpr uint8_t kXorCommand = 0x1D;
constexpr uint8_t kParameterAddressCommand = 0x54;

// Interface test boxes: thermobox, WS and SAB.
constexpr uint8_t kThbInitCommand = 0x25;
constexpr uint8_t kWsInitCommand = 0x26;
constexpr uint8_t kWsParaCommand = 0x27;
constexpr uint8_t kWsTestCommand = 0x28;
constexpr uint8_t kThbTempCommand = 0x30;
constexpr uint8_t kSabParaCommand = 0x69;
constexpr uint8_t kSabStatusCommand = 0x6A;

// Serial ports; the baud-rate command also takes a parameter text in place of the rate.
constexpr uint8_t kSendCommand = 0x2A;
constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint8_t kPortTestCommand = 0x2C;
constexpr uint8_t kPortIdCommand = 0x2D;
constexpr uint8_t kPortCountCommand = 0x2E;

// Real-time clock and time code receiver.
constexpr uint8_t kSetTimeCommand = 0x33;
constexpr uint8_t kGetTimeCommand = 0x34;
constexpr uint8_t kSetDateCommand = 0x35;
constexpr uint8_t kGetDateCommand = 0x36;
constexpr uint8_t kTimeCodeSignalCommand = 0x37;
constexpr uint8_t kTimeCodeFormatCommand = 0x38;
constexpr uint8_t kTimeCodeTimeCommand = 0x39;
constexpr uint8_t kTimeCodeDateCommand = 0x3A;

// Watchdog, restart and error lists.
constexpr uint8_t kWatchdogCommand = 0x3D;
constexpr uint8_t kResetCommand = 0x3F;
constexpr uint8_t kErrorCommand = 0x71;

// Analog inputs, supplies and battery.
constexpr uint8_t kBatteryCommand = 0x3E;
constexpr uint8_t kAduModeCommand = 0x45;
constexpr uint8_t kTransducerCommand = 0x46;
constexpr uint8_t kFrequencyCommand = 0x47;
constexpr uint8_t kAmplifyCommand = 0x48;
constexpr uint8_t kChannelValueCommand = 0x49;
constexpr uint8_t kPhaseCommand = 0x4A;
constexpr uint8_t kFreezeCommand = 0x4B;
constexpr uint8_t kAdcCommand = 0x4C;
constexpr uint8_t kChannelInfoCommand = 0x4D;
constexpr uint8_t kSupplyCommand = 0x4E;
constexpr uint8_t kAmplifyMaskCommand = 0x50;
constexpr uint8_t kMinmaxCommand = 0x5F;
constexpr uint8_t kAmplitudeCommand = 0x70;
constexpr uint8_t kPowerFailCommand = 0x86;

// Calibration: offsets, analog outputs and stored calibration values.
constexpr uint8_t kAnalogOutputCommand = 0x2F;
constexpr uint8_t kCalculateOffsetCommand = 0x40;
constexpr uint8_t kGetOffsetCommand = 0x41;
constexpr uint8_t kSetOffsetCommand = 0x42;
constexpr uint8_t kOffsetModeCommand = 0x43;
constexpr uint8_t kStoreCalibrationCommand = 0x5B;
constexpr uint8_t kSetCalibrationCommand = 0x5C;
constexpr uint8_t kGetCalibrationCommand = 0x5D;
constexpr uint8_t kCalDefaultsCommand = 0x5E;
constexpr uint8_t kCalParameterCommand = 0x60;

// Device identity: CPU, order number, serial number.
constexpr uint8_t kMlfbCommand = 0x51;
constexpr uint8_t kSerialNumberCommand = 0x52;
constexpr uint8_t kCpuIdCommand = 0x53;
constexpr uint8_t kIdentityCommand = 0x6F;
constexpr uint8_t kWriteSerialNumberCommand = 0x84;
constexpr uint8_t kWriteMlfbCommand = 0x85;

// Internal bus and plug-in modules.
constexpr uint8_t kBusInfoCommand = 0x65;
constexpr uint8_t kBusStatisticsCommand = 0x66;
constexpr uint8_t kBusBitsCommand = 0x68;
constexpr uint8_t kModuleInfoCommand = 0x80;
constexpr uint8_t kModuleResetCommand = 0x81;
constexpr uint8_t kModuleTestCommand = 0x82;
constexpr uint8_t kModuleCommand = 0x83;

// HDLC recorder.
constexpr uint8_t kHdlcParameterCommand = 0x78;
constexpr uint8_t kHdlcTriggerCommand = 0x79;
constexpr uint8_t kHdlcBinCommand = 0x7A;
constexpr uint8_t kHdlcStartCommand = 0x7B;
constexpr uint8_t kHdlcFreezeCommand = 0x7C;
constexpr uint8_t kHdlcStatusCommand = 0x7D;
constexpr uint8_t kHdlcReadCommand = 0x7E;
constexpr uint8_t kHdlcDecodeCommand = 0x7F;

// Time-out of a simple query that the relay answers at once.
constexpr int kQueryTimeoutMs = 60;

}  // namespace testbay
