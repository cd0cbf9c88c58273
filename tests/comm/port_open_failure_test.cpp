#include "comm/port_open_failure.h"

#include <gtest/gtest.h>

#include "comm/channel.h"
#include "settings/directories.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

TEST(PortOpenFailureText, NamesThePortItsDeviceTheSystemsTextTheHoldersAndTheHint) {
    EXPECT_EQ(PortOpenFailureText(2, "/dev/nonexistent", {2, "No such file or directory", {}, {}}),
              "cannot open COM2 (/dev/nonexistent): No such file or directory");
    EXPECT_EQ(
        PortOpenFailureText(3, "/dev/ttyS2", {13, "Permission denied", {}, "the device belongs to group dialout"}),
        "cannot open COM3 (/dev/ttyS2): Permission denied; the device belongs to group dialout");
    const SerialOpenFailure busy{
        16,
        "Device or resource busy",
        {{4711, "minicom", {"-D", "/dev/ttyUSB0"}, false}, {4712, "TESTBAY", {"/automation"}, false}},
        {}};
    EXPECT_EQ(PortOpenFailureText(7, "/dev/ttyUSB0", busy),
              "cannot open COM7 (/dev/ttyUSB0): Device or resource busy; held by minicom (pid 4711), another Testbay "
              "document (pid 4712)");
    EXPECT_EQ(PortOpenFailureText(1, "", {}), "cannot open COM1");
}

TEST(PortOpenFailureText, TellsTestbaysOwnHoldersApart) {
    EXPECT_EQ(HolderText({10, "testbay", {"-Automation"}, false}), "another Testbay document (pid 10)");
    EXPECT_EQ(HolderText({10, "testbay.exe", {"-JsonRpc"}, false}), "another Testbay document (pid 10)");
    EXPECT_EQ(HolderText({11, "testbay", {}, false}), "the Testbay window (pid 11)");
    EXPECT_EQ(HolderText({11, "testbay", {"Automation"}, false}), "the Testbay window (pid 11)");
    EXPECT_EQ(HolderText({0, "testbay", {}, false}), "another Testbay program");
    EXPECT_EQ(HolderText({12, "testbay", {"-Automation"}, true}),
              "this program (an earlier connection to it is still open)");
    EXPECT_EQ(HolderText({13, "", {}, false}), "process 13");
}

// The device port itself, through ComOpen: the reason reaches the caller.
TEST(PortOpenFailureText, ComOpenHandsTheDevicePortsReasonOn) {
    test::TempDir dir;
    SetConfigDirectory(dir.Path());
    test::WriteWholeFile(dir.File("Testbay.ini"), "[Ports]\r\nCOM2=" + dir.File("missing") + "\r\n");
    int channel = 0;
    std::string failure;
    EXPECT_EQ(ComOpen(2, channel, failure), 0);
    EXPECT_EQ(channel, -1);
    EXPECT_EQ(failure.rfind("cannot open COM2 (" + dir.File("missing") + "): ", 0), 0u) << failure;
}

}  // namespace
}  // namespace testbay
