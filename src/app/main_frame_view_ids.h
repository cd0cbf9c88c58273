#pragma once

// Resources of the main frame and the serial connection dialog.
#define TESTBAY_FRAME_RESOURCE 246  // the frame's icon, menu and toolbar images
#define TESTBAY_SERIAL_SETUP_DIALOG 102
#define TESTBAY_SERIAL_SETUP_STATUS 1792
#define TESTBAY_SERIAL_SETUP_GROUP 1793
#define TESTBAY_SERIAL_SETUP_PORTS 1644
#define TESTBAY_SERIAL_SETUP_HELP 9
