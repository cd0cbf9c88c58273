#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/help.h"
#include "app/language.h"
#include "app/serial_setup_view.h"
#include "app/settings.h"
#include "support/virtual_line.h"

namespace testbay {

class SerialSetupDlgTest : public QObject {
    Q_OBJECT

private:
    static int StoredComPort() { return ReadIniInt("Testbay", "ComPort", -1, "Testbay.ini"); }
    static QPushButton* Button(CSerialSetupDlg& dialog, QDialogButtonBox::StandardButton which) {
        return dialog.findChild<QDialogButtonBox*>()->button(which);
    }
    static void Choose(CSerialSetupDlg& dialog, const QString& port) {
        const int index = dialog.Ports()->findText(port);
        QVERIFY(index >= 0);
        dialog.Ports()->setCurrentIndex(index);
        emit dialog.Ports()->activated(index);
    }

private slots:
    void init() { SetLanguage(kEnglish); }

    void OkStoresTheChosenPortAndCancelDoesNot() {
        test::ScriptedPeer peer;
        test::VirtualLineFixture line(peer);
        test::WriteWholeFile(line.Dir().File("Testbay.ini"),
                             "[Testbay]\r\nComPort=31\r\n[Ports]\r\nCOM31=/dev/null\r\nCOM40=/dev/null\r\n");
        {
            CSerialSetupDlg dialog;
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup Serial Connection"));
            QCOMPARE(dialog.Ports()->currentText(), QStringLiteral("COM31"));
            QVERIFY(dialog.Status()->text().isEmpty());
            Choose(dialog, QStringLiteral("COM40"));
            QTest::mouseClick(Button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        }
        QCOMPARE(StoredComPort(), 31);
        {
            CSerialSetupDlg dialog;
            Choose(dialog, QStringLiteral("COM40"));
            QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(StoredComPort(), 40);
    }

    void APortInUseShowsTheNoteAndHelpHasItsTopic() {
        test::ScriptedPeer peer;
        test::VirtualLineFixture line(peer);
        test::WriteWholeFile(line.Dir().File("Testbay.ini"), "[Ports]\r\nCOM31=/dev/null\r\n");
        QVERIFY(line.OpenChannel() >= 0);  // another program holds the line
        CSerialSetupDlg dialog;
        Choose(dialog, QStringLiteral("COM31"));
        QCOMPARE(dialog.Status()->text(), QStringLiteral("This serial port is currently used by another application."));

        std::string topic;
        SetHelpDisplay([&topic](const std::string& shown) { topic = shown; });
        QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
        SetHelpDisplay(nullptr);
        QCOMPARE(QString::fromStdString(topic), QStringLiteral("settings.html"));
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::SerialSetupDlgTest)
#include "serial_setup_test.moc"
