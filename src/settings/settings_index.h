#pragma once

// Every setting the program keeps, with its default.
namespace testbay::settings {

constexpr const char* kProgramFile = "Testbay.ini";
// Kept in the Windows-directory counterpart, shared with other programs.
constexpr const char* kSharedFile = "TESTBAY.INI";

struct IntKey {
    const char* section;
    const char* key;
    int defaultValue;
};

struct TextKey {
    const char* section;
    const char* key;
    const char* defaultValue;
};

constexpr IntKey kComPort{"Testbay", "ComPort", 1};
constexpr IntKey kLogfile{"FirmwareUpdate", "Logfile", 0};
// The default follows the user's locale: 0 German, 1 English.
constexpr const char* kLanguageSection = "FirmwareUpdate";
constexpr const char* kLanguageKey = "Language";
// Sixteen bytes: left, top, right, bottom as signed 32-bit numbers.
constexpr const char* kWindowSection = "SECTION_WINDOW";
constexpr const char* kWindowPositionKey = "POSITION";
constexpr const char* kAppSection = "APP";
constexpr const char* kIniPathKey = "INIPATH";
// "COM<n>" = device path.
constexpr const char* kPortsSection = "Ports";
// Milliseconds a network port may take to connect (default and range with
// the network port).
constexpr const char* kConnectTimeoutKey = "ConnectTimeout";

constexpr TextKey kWsTestBaudrate{"WSTEST", "BAUDRATE", "512000"};
constexpr TextKey kWsTestTime{"WSTEST", "TIME", "1"};
constexpr TextKey kWsTestClock{"WSTEST", "CLOCK", "1"};

}  // namespace testbay::settings
