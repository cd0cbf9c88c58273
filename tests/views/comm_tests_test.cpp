#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "support/environment.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test_view.h"
#include "tools/ws_test.h"
#include "tools/ws_test_view.h"

namespace testbay {
namespace {

constexpr int kLoopedPort = 1;
constexpr int kProtectionPort = 3;
constexpr int kWsChannel = 0;

// A virtual relay on COM1 with its client, and TESTBAY.INI in the test's
// directory.
struct RelayRig {
    RelayRig() {
        ComBaud(channel, 38400);
        client.WsInit(kWsChannel, kProtectionPort);
    }

    sim::RelayModel relay;
    test::VirtualLineFixture line{relay};
    test::ScopedEnv windowsDir{"TESTBAY_WINDOWS_DIR", line.Dir().Path()};
    int channel = line.OpenChannel();
    CHwtV4Client client{channel};
};

template <typename Widget>
Widget* Find(QWidget& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(name);
    if (!widget) qFatal("no widget %s", name);
    return widget;
}

}  // namespace

class CommTestsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { rig_ = std::make_unique<RelayRig>(); }
    void cleanup() { rig_.reset(); }

    void enhancedOpensWithItsDefaults() {
        EnhancedCommTestView dialog(kLoopedPort);
        QCOMPARE(dialog.windowTitle(), QString("Enhanced Communication Tests"));
        QVERIFY(Find<QRadioButton>(dialog, "fixedLength")->isChecked());
        QCOMPARE(Find<QLineEdit>(dialog, "lengthBox")->text(), QString("128"));
        QVERIFY(Find<QRadioButton>(dialog, "sendAndWait")->isChecked());
        QCOMPARE(Find<QLineEdit>(dialog, "timeoutBox")->text(), QString("3000"));
        QCOMPARE(Find<QLineEdit>(dialog, "intervalBox")->text(), QString("1000"));
        QVERIFY(Find<QLineEdit>(dialog, "baudBox")->isEnabled());
        QVERIFY(!Find<QLineEdit>(dialog, "channelBox")->isEnabled());
        auto* list = Find<QTreeWidget>(dialog, "errorList");
        const QStringList titles = {"Date / Time", "Number", "Code", "Commentary"};
        const int widths[] = {100, 60, 40, 200};
        QCOMPARE(list->columnCount(), 4);
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(list->headerItem()->text(column), titles[column]);
            QCOMPARE(list->columnWidth(column), widths[column]);
        }
        QCOMPARE(Find<QPushButton>(dialog, "startButton")->text(), QString("&Start"));
    }

    // A failing send and the relay's code: two lines, the newest on top.
    void enhancedFailuresReachTheListInOrder() {
        sim::RelayPort& port = rig_->relay.Hardware().serialPorts.ports.at(kLoopedPort);
        port.broken = true;
        port.faultCode = 7;
        EnhancedCommTestView dialog(kLoopedPort);
        dialog.show();
        Find<QRadioButton>(dialog, "sendOnly")->setChecked(true);
        Find<QRadioButton>(dialog, "textChoice")->setChecked(true);
        Find<QLineEdit>(dialog, "textBox")->setText("abc");
        auto* start = Find<QPushButton>(dialog, "startButton");
        start->click();
        QCOMPARE(start->text(), QString("&Stop"));
        QTRY_COMPARE(start->text(), QString("&Start"));

        auto* list = Find<QTreeWidget>(dialog, "errorList");
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(1), QString("2"));
        QCOMPARE(list->topLevelItem(0)->text(2), QString("7"));
        QCOMPARE(list->topLevelItem(0)->text(3), QString("Character error"));
        QCOMPARE(list->topLevelItem(1)->text(1), QString("1"));
        QCOMPARE(list->topLevelItem(1)->text(2), QString("0"));
        QCOMPARE(list->topLevelItem(1)->text(3), QString("Fehler beim Senden"));
        QCOMPARE(Find<QLineEdit>(dialog, "failBox")->text(), QString("2"));
        QCOMPARE(Find<QLineEdit>(dialog, "passBox")->text(), QString());
    }

    void enhancedStopEndsARepeatedRunAndCloseWaitsForTheWorker() {
        auto dialog = std::make_unique<EnhancedCommTestView>(kLoopedPort);
        dialog->show();
        Find<QCheckBox>(*dialog, "repeat")->setChecked(true);
        Find<QLineEdit>(*dialog, "intervalBox")->setText("10");
        auto* start = Find<QPushButton>(*dialog, "startButton");
        auto* passes = Find<QLineEdit>(*dialog, "passBox");
        start->click();
        QTRY_VERIFY(passes->text().toInt() >= 3);
        start->click();
        QTRY_COMPARE(start->text(), QString("&Start"));
        const QString stoppedAt = passes->text();
        QTest::qWait(50);
        QCOMPARE(passes->text(), stoppedAt);

        // A new run clears the counters; closing meanwhile stops it first.
        start->click();
        QTRY_VERIFY(!passes->text().isEmpty());
        dialog->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(start->text(), QString("&Start"));

        // Destroyed while running, without a close.
        start->click();
        QTRY_VERIFY(!passes->text().isEmpty());
        dialog.reset();
    }

    void wsOpensWithTheStoredSettings() {
        test::WriteWholeFile(rig_->line.Dir().File("TESTBAY.INI"),
                             "[WSTEST]\r\nTIME=7\r\nBAUDRATE=128000\r\nCLOCK=0\r\n");
        WsTestView dialog(1);
        QCOMPARE(dialog.windowTitle(), QString("WS-Test Channel:1"));
        auto* baud = Find<QComboBox>(dialog, "baudBox");
        QCOMPARE(baud->count(), 4);
        QCOMPARE(baud->itemText(0), QString("38400"));
        QCOMPARE(baud->itemText(3), QString("512000"));
        QCOMPARE(baud->currentText(), QString("128000"));
        QCOMPARE(Find<QLineEdit>(dialog, "timeBox")->text(), QString("7"));
        QVERIFY(!Find<QCheckBox>(dialog, "clockRecovering")->isChecked());
        QVERIFY(!Find<QPushButton>(dialog, "helpButton")->isEnabled());
        QCOMPARE(Find<QPushButton>(dialog, "startButton")->text(), QString("Start Test !"));
    }

    // Every test reaches the dialog before the next one starts: the list holds
    // one line per failure, numbered in order from 000.
    void wsRunShowsEveryTestInOrder() {
        rig_->line.Line().SetAnswerDelayMs(20);
        rig_->relay.Hardware().analog.ws[kWsChannel].linkUp = false;
        WsTestView dialog(kWsChannel);
        dialog.show();
        Find<QCheckBox>(dialog, "beepOnError")->setChecked(true);
        auto* time = Find<QLineEdit>(dialog, "timeBox");
        time->setText("0");
        auto* start = Find<QPushButton>(dialog, "startButton");
        start->click();
        QCOMPARE(time->text(), QString("5"));
        QCOMPARE(start->text(), QString("Stop Test !"));
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), QString("Start Test !"), 30000);

        auto* list = Find<QListWidget>(dialog, "failureList");
        const int failed = Find<QLineEdit>(dialog, "failedBox")->text().toInt();
        QVERIFY(failed > 10);
        QCOMPARE(list->count(), failed);
        QCOMPARE(Find<QLineEdit>(dialog, "totalBox")->text().toInt(), failed);
        QCOMPARE(Find<QLineEdit>(dialog, "passedBox")->text(), QString("0"));
        for (int row = 0; row < list->count(); ++row) {
            QVERIFY(list->item(row)->text().startsWith(QString("Test#%1 ").arg(row, 3, 10, QChar('0'))));
        }
        QVERIFY(list->item(0)->text().endsWith("CODE=-1 RX=00000000 TX=00000100 Kein Empfang"));
        QCOMPARE(Find<QProgressBar>(dialog, "progress")->value(), 0);
    }

    void wsStopAndCloseWhileRunning() {
        auto dialog = std::make_unique<WsTestView>(kWsChannel);
        dialog->show();
        Find<QLineEdit>(*dialog, "timeBox")->setText("3600");
        auto* start = Find<QPushButton>(*dialog, "startButton");
        auto* passed = Find<QLineEdit>(*dialog, "passedBox");
        start->click();
        QTRY_VERIFY(passed->text().toInt() >= 3);
        QVERIFY(Find<QProgressBar>(*dialog, "progress")->value() >= 0);
        start->click();
        QTRY_COMPARE(start->text(), QString("Start Test !"));
        QVERIFY(!ProcessWsTestRun().IsActive());

        start->click();
        QTRY_VERIFY(passed->text().toInt() >= 1);
        dialog->close();
        QVERIFY(!ProcessWsTestRun().IsActive());
        start->click();
        QTRY_VERIFY(passed->text().toInt() >= 1);
        dialog.reset();
        QVERIFY(!ProcessWsTestRun().IsActive());
    }

private:
    std::unique_ptr<RelayRig> rig_;
};

}  // namespace testbay

QTEST_MAIN(testbay::CommTestsTest)
#include "comm_tests_test.moc"
