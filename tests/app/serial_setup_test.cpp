#include <gtest/gtest.h>

#include <filesystem>

#include "settings/language.h"
#include "app/serial_setup.h"
#include "settings/settings.h"
#include "platform/serial_device_list.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::WriteWholeFile;

// Every "COM<n>" opens an in-memory port; only one may be open at a time.
class SerialSetupTest : public ::testing::Test {
protected:
    void SetIni(const std::string& content) { WriteWholeFile(line_.Dir().File("Testbay.ini"), content); }
    int StoredComPort() { return ReadIniInt("Testbay", "ComPort", -1, "Testbay.ini"); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const SerialPortChoice& choice : setup_.Choices()) texts.push_back(choice.text);
        return texts;
    }

    test::ScriptedPeer peer_;
    test::VirtualLineFixture line_{peer_};
    SerialSetup setup_;
};

TEST_F(SerialSetupTest, ListsPortsSortedPreselectsCom1NotesAPortHeldElsewhereAndOkStoresTheNumberOnly) {
    SetIni("[Ports]\r\nCOM10=/dev/ttyUSB0\r\n");
    const int held = line_.OpenChannel();
    ASSERT_GE(held, 0);
    SetLanguage(kGerman);
    setup_.Open({DefaultComDevice(1), DefaultComDevice(2), "/dev/ttyUSB0", "/dev/ttyACM0"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"/dev/ttyACM0", "COM1", "COM10", "COM2"}));
    ASSERT_EQ(setup_.Selection(), 1);
    EXPECT_EQ(setup_.StatusText(),
              "Hinweis: Diese Schnittstelle ist gegenwärtig von einer anderen Applikation geöffnet");
    SetLanguage(kEnglish);
    ComClose(held);
    setup_.Select(2);
    EXPECT_EQ(setup_.StatusText(), "");
    EXPECT_TRUE(setup_.Ok());
    EXPECT_EQ(StoredComPort(), 10);
}

TEST_F(SerialSetupTest, StoredPortNotListedSelectsNothingUnlessANameBeginsWithItAndNewAdaptersGetFreeNumbers) {
    SetIni("[Testbay]\r\nComPort=3\r\n");
    setup_.Open({DefaultComDevice(1), DefaultComDevice(2)});
    EXPECT_EQ(setup_.Selection(), -1);
    EXPECT_FALSE(setup_.Ok());
    EXPECT_EQ(StoredComPort(), 3);

    SetIni("[Testbay]\r\nComPort=3\r\n[Ports]\r\ncom30=/dev/ttyUSB3\r\n");
    setup_.Open({DefaultComDevice(1), DefaultComDevice(2)});
    ASSERT_GE(setup_.Selection(), 0);
    EXPECT_EQ(setup_.Choices()[static_cast<size_t>(setup_.Selection())].text, "COM30");

    // Choosing an unmapped adapter maps it to a free number.
    SetIni("[Ports]\r\nCOM1=/dev/ttyUSB7\r\n");
    setup_.Open({DefaultComDevice(2), "/dev/ttyACM0"});
    ASSERT_EQ(Texts(), (std::vector<std::string>{"/dev/ttyACM0", "COM1", "COM2"}));
    setup_.Select(0);
    EXPECT_TRUE(setup_.Ok());
    EXPECT_EQ(StoredComPort(), 3);
    char path[64];
    ReadIniString("Ports", "COM3", "", path, sizeof(path), "Testbay.ini");
    EXPECT_STREQ(path, "/dev/ttyACM0");
}

// Loopback ports that nobody listens on: the dialog's check of the chosen port stays on this machine.
TEST_F(SerialSetupTest, NetworkPortsShowWhereTheyLeadAndKeepTheirNumber) {
    SetIni(
        "[Testbay]\r\nComPort=3\r\n[Ports]\r\nConnectTimeout=500\r\nCOM3=rfc2217://127.0.0.1:9\r\n"
        "COM30=/dev/ttyUSB0\r\nCOM4=socket://[::1]:7002\r\n");
    setup_.Open({});
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"COM3 (rfc2217://127.0.0.1:9)", "COM30", "COM4 (socket://[::1]:7002)"}));
    ASSERT_EQ(setup_.Selection(), 0);
    setup_.Select(2);
    EXPECT_TRUE(setup_.Ok());
    EXPECT_EQ(StoredComPort(), 4);
}

#ifndef _WIN32
TEST(SerialDeviceList, OnlyDevicesWithHardwareBehindThem) {
    test::TempDir root;
    namespace fs = std::filesystem;
    fs::create_directories(root.File("dev"));
    for (const char* name : {"ttyS0", "ttyS1", "ttyUSB0", "ttyACM2", "tty0", "ttyprintk"}) {
        WriteWholeFile(root.File("dev/") + name, "");
        fs::create_directories(root.File("sys/") + name);
    }
    for (const char* name : {"ttyS0", "ttyUSB0", "ttyACM2", "tty0"}) {
        fs::create_directories(root.File("sys/") + name + "/device");
    }
    EXPECT_EQ(PresentSerialDevices(root.File("dev/"), root.File("sys/")),
              (std::vector<std::string>{root.File("dev/ttyACM2"), root.File("dev/ttyS0"), root.File("dev/ttyUSB0")}));
}
#endif

}  // namespace
}  // namespace testbay
