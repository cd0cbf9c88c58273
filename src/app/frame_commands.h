#pragma once

namespace testbay {

// The frame's command identifiers, the same in every view of the frame.
enum FrameCommand : int {
    kCommandSerialConnection = 32777,  // the serial connection dialog, modal
    kCommandHardwareTest = 32786,      // a further hardware-test sheet
    kCommandExit = 57665,              // closes the frame
};

}  // namespace testbay
