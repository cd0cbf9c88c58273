#pragma once

// The frame's command identifiers, the same in every view of the frame; the
// Windows resources take them from here too.
#define TESTBAY_COMMAND_SERIAL_CONNECTION 32777
#define TESTBAY_COMMAND_HARDWARE_TEST 32786
#define TESTBAY_COMMAND_EXIT 57665

#ifndef RC_INVOKED
namespace testbay {

enum FrameCommand : int {
    kCommandSerialConnection = TESTBAY_COMMAND_SERIAL_CONNECTION,  // the serial connection dialog, modal
    kCommandHardwareTest = TESTBAY_COMMAND_HARDWARE_TEST,          // a further hardware-test sheet
    kCommandExit = TESTBAY_COMMAND_EXIT,                           // closes the frame
};

}  // namespace testbay
#endif
