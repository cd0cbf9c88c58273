// Draws the desktop window against the virtual relay and saves each window
// as a PNG: the main frame, the serial connection dialog and the
// hardware-test sheet, plain and with a bound protection interface.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabBar>
#include <cstdio>

#include "app/language.h"
#include "app/main_frame_view.h"
#include "app/serial_setup_view.h"
#include "app/version.h"
#include "pages/hwt_sheet_view.h"
#include "support/virtual_line.h"

namespace {

using testbay::CHWTCom;

bool Save(QWidget& window, const QString& directory, const char* name) {
    QApplication::processEvents();
    const QString path = directory + "/" + name;
    if (window.grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
        return true;
    }
    std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

// A relay with five listed interfaces behind a board that has all four rear
// sockets, and a protection interface that the page leaves out.
void FitInterfaces(testbay::sim::RelayModel& relay) {
    relay.Hardware().identity.cpuType = "PBX1";
    auto& ports = relay.Hardware().serialPorts.ports;
    ports.assign(6, testbay::sim::RelayPort{});
    const int32_t codes[] = {0x00, 0x02, 0x04, 0x07, 0x00, 0x0C};
    for (size_t index = 0; index < ports.size(); ++index) ports[index].id = codes[index];
    ports[1].loopbackPlug = true;
}

void ShowTab(CHWTCom& page, int tab) { page.Tabs()->setCurrentIndex(tab); }

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots DIRECTORY\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    testbay::SetLanguage(testbay::kEnglish);

    testbay::sim::RelayModel relay;
    FitInterfaces(relay);
    testbay::test::VirtualLineFixture line(relay);
    testbay::test::WriteWholeFile(line.Dir().File("Testbay.ini"),
                                  "[Testbay]\r\nComPort=1\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/ttyUSB1\r\n"
                                  "COM7=/dev/serial/by-id/usb-relay-if00\r\n");

    char title[64];
    std::snprintf(title, sizeof(title), testbay::kMainWindowTitleFormat, testbay::kTestbayVersion);
    testbay::CMainFrame frame(QString::fromUtf8(title));
    frame.show();
    bool saved = Save(frame, directory, "main_frame.png");

    {
        testbay::CSerialSetupDlg dialog(&frame);
        dialog.show();
        saved = Save(dialog, directory, "serial_setup.png") && saved;
    }

    testbay::CHWTSheet* sheet = frame.OnHardwareTest();
    if (!sheet) {
        std::fprintf(stderr, "screenshots: the virtual relay did not answer\n");
        return 1;
    }
    CHWTCom& page = *sheet->SerialPorts();
    ShowTab(page, 1);
    page.TestButton()->click();
    saved = Save(*sheet, directory, "hwt_sheet.png") && saved;

    ShowTab(page, 3);
    page.ProtectionBox()->click();
    page.Channels()->setCurrentIndex(0);
    emit page.Channels()->activated(0);
    saved = Save(*sheet, directory, "hwt_sheet_bound.png") && saved;

    sheet->close();
    return saved ? 0 : 1;
}
