#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testbay::sim {

// One stored error record.
struct ErrorRecord {
    std::string time;
    std::string text;
    int32_t code = 0;
    // Program address or board the error points at; 0 when none.
    int32_t address = 0;
    std::string task;
};

// Identity, clock, watchdog and error records of the virtual relay.
struct IdentityState {
    std::string cpuType = "MBX2";
    std::string hardwareVersion = "HW 03";
    std::vector<std::string> versions = {"BS V04.10.02", "HWT V04.20.01", "APP V04.70.15", "V04.70.15"};
    std::string mlfb = "QR8425-5TB92-3MD1+Z2A";
    std::string serialNumber = "TQ2612345678";
    // Whether the firmware knows the order and serial number writes (0x85,
    // 0x84); older firmware leaves them to the boot system.
    bool writesIdentity = true;

    // CPU identification: board revision bytes, the chip's id text and its
    // clock in kHz.
    std::array<int32_t, 3> cpuIdBytes = {2, 4, 1};
    std::string cpuIdText = "K2-0712-C03";
    int32_t cpuIdValue = 40000;

    // The relay clock (UTC) read clockSeconds at clockSetAtMs of the process
    // clock and runs on from there.
    int64_t clockSeconds = 1710498600;  // 15.03.2024 10:30:00
    int64_t clockSetAtMs = 0;

    // Time code receiver, synchronised to the relay clock while it has a signal.
    bool timeCodeSignal = true;
    // Newer firmware answers the time code as one UTC second count.
    bool timeCodeAsSeconds = false;

    // The watchdog runs out this long after a test has armed it.
    int32_t watchdogTimeMs = 1600;
    bool watchdogArmed = false;

    // Firmware with several error lists answers a single field with the
    // list's record count; older firmware keeps one list (the first) and
    // answers it with the record at that index.
    bool errorListsByNumber = true;
    std::vector<std::vector<ErrorRecord>> errorLists = {
        {
            {"14.03.24 08:12:05", "Watchdog reset", 0x17, 0x0081A2C4, "PROT"},
            {"14.03.24 08:12:06", "Restart", 0x01, 0, "SYS"},
            {"15.03.24 09:58:40", "Parameter checksum", 0x2A, 0x00840000, "PARA"},
        },
        {
            {"02.02.24 17:45:51", "Battery low", 0x102, 2, "HWMON"},
        },
        {},
    };
};

}  // namespace testbay::sim
