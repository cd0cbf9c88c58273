#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "settings/language.h"
#include "app/serial_setup_view.h"
#include "settings/settings.h"
#include "support/virtual_line.h"

namespace testbay {

class SerialSetupDlgTest : public QObject {
    Q_OBJECT

private:
    static int StoredComPort() { return ReadIniInt("Testbay", "ComPort", -1, "Testbay.ini"); }
    static void Click(CSerialSetupDlg& dialog, QDialogButtonBox::StandardButton button) {
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(button), Qt::LeftButton);
    }
    static void Choose(CSerialSetupDlg& dialog, const QString& port) {
        const int index = dialog.Ports()->findText(port);
        QVERIFY(index >= 0);
        dialog.Ports()->setCurrentIndex(index);
        emit dialog.Ports()->activated(index);
    }

private slots:
    void OkStoresThePortCancelDoesNotAndAHeldPortIsNoted() {
        SetLanguage(kEnglish);
        test::ScriptedPeer peer;
        test::VirtualLineFixture line(peer);
        test::WriteWholeFile(line.Dir().File("Testbay.ini"),
                             "[Testbay]\r\nComPort=31\r\n[Ports]\r\nCOM31=/dev/null\r\nCOM40=/dev/null\r\n");
        {
            CSerialSetupDlg dialog;
            QCOMPARE(dialog.Ports()->currentText(), QStringLiteral("COM31"));
            Choose(dialog, QStringLiteral("COM40"));
            Click(dialog, QDialogButtonBox::Cancel);
        }
        QCOMPARE(StoredComPort(), 31);

        QVERIFY(line.OpenChannel() >= 0);  // another program holds the line
        CSerialSetupDlg dialog;
        Choose(dialog, QStringLiteral("COM40"));
        QCOMPARE(dialog.Status()->text(), QStringLiteral("This serial port is currently used by another application."));
        Click(dialog, QDialogButtonBox::Ok);
        QCOMPARE(StoredComPort(), 40);
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::SerialSetupDlgTest)
#include "serial_setup_test.moc"
