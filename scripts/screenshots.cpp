// Draws the desktop window against the virtual relay and saves each window
// as a PNG: the main frame, the serial connection dialog, the hardware-test
// sheet, plain and with a bound protection interface, and both communication
// tests in the middle of a run with failures.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QThread>
#include <cstdio>
#include <functional>

#include "settings/language.h"
#include "app/main_frame_view.h"
#include "app/serial_setup_view.h"
#include "settings/version.h"
#include "pages/hwt_sheet_view.h"
#include "support/environment.h"
#include "support/named_widget.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test_view.h"
#include "tools/test_dialogs_view.h"
#include "tools/ws_test_view.h"

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

// Starts the dialog's run and saves it once `count` shows `failures`; the
// run is stopped when the dialog closes.
bool SaveDuringRun(QDialog& dialog, const QString& directory, const char* name, const char* count, int failures) {
    dialog.show();
    testbay::test::NamedChild<QPushButton>(dialog, "startButton")->click();
    const QLineEdit* box = testbay::test::NamedChild<QLineEdit>(dialog, count);
    testbay::DeliverNoticesUntil([box, failures] { return box->text().toInt() >= failures; });
    const bool saved = Save(dialog, directory, name);
    dialog.close();
    return saved;
}

// Send and wait on the port with the test plug, repeated.
bool SaveEnhancedCommunicationTests(QWidget& owner, const QString& directory) {
    testbay::EnhancedCommTestView dialog(1, &owner);
    testbay::test::NamedChild<QCheckBox>(dialog, "repeat")->setChecked(true);
    testbay::test::NamedChild<QLineEdit>(dialog, "intervalBox")->setText("500");
    testbay::test::NamedChild<QLineEdit>(dialog, "baudBox")->setText("115200");
    return SaveDuringRun(dialog, directory, "enhanced_comm_test.png", "failBox", 4);
}

bool SaveWsTest(QWidget& sheet, const QString& directory) {
    testbay::WsTestView dialog(0, &sheet);
    testbay::test::NamedChild<QLineEdit>(dialog, "timeBox")->setText("60");
    testbay::test::NamedChild<QCheckBox>(dialog, "beepOnError")->setChecked(false);
    // Wide enough for a whole failure line.
    dialog.resize(600, dialog.sizeHint().height());
    return SaveDuringRun(dialog, directory, "ws_test.png", "failedBox", 6);
}

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
    const testbay::test::ScopedEnv windowsDir("TESTBAY_WINDOWS_DIR", line.Dir().Path());
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

    // From here the relay loses, corrupts and misdirects answers, so that now
    // and then all tries of one test fail.
    line.Line().SetFaults({.dropEvery = 2, .corruptEvery = 3, .wrongEchoEvery = 5});
    saved = SaveEnhancedCommunicationTests(frame, directory) && saved;
    saved = SaveWsTest(*sheet, directory) && saved;

    sheet->close();
    return saved ? 0 : 1;
}
