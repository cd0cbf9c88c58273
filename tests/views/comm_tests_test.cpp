#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "support/environment.h"
#include "support/named_widget.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test_view.h"
#include "tools/ws_test.h"
#include "tools/ws_test_view.h"

namespace testbay {
namespace {

constexpr int kLoopedPort = 1;
constexpr int kWsChannel = 0;

// A virtual relay on COM1 with its client, and TESTBAY.INI in the test's directory.
struct RelayRig : test::HwtRelayRig {
    RelayRig() { client.WsInit(kWsChannel, 3); }

    test::ScopedEnv windowsDir{"TESTBAY_WINDOWS_DIR", line.Dir().Path()};
};

}  // namespace

class CommTestsTest : public QObject {
    Q_OBJECT

private slots:
    // A failing send and the relay's code give two lines, the newest on top;
    // destroying the dialog mid-run stops its worker (closing it is the stop
    // signal's case).
    void enhancedListsFailuresAndStopsWhenDestroyed() {
        RelayRig rig;
        sim::RelayPort& port = rig.relay.Hardware().serialPorts.ports.at(kLoopedPort);
        port.broken = true;
        port.faultCode = 7;
        auto dialog = std::make_unique<EnhancedCommTestView>(kLoopedPort);
        dialog->show();
        test::NamedChild<QRadioButton>(*dialog, "sendOnly")->setChecked(true);
        test::NamedChild<QRadioButton>(*dialog, "textChoice")->setChecked(true);
        test::NamedChild<QLineEdit>(*dialog, "textBox")->setText("abc");
        auto* start = test::NamedChild<QPushButton>(*dialog, "startButton");
        start->click();
        QCOMPARE(start->text(), QString("&Stop"));
        QTRY_COMPARE(start->text(), QString("&Start"));
        auto* list = test::NamedChild<QTreeWidget>(*dialog, "errorList");
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(3), QString("Character error"));
        auto* failures = test::NamedChild<QLineEdit>(*dialog, "failBox");
        QCOMPARE(failures->text(), QString("2"));

        test::NamedChild<QCheckBox>(*dialog, "repeat")->setChecked(true);
        test::NamedChild<QLineEdit>(*dialog, "intervalBox")->setText("10");
        start->click();
        QTRY_VERIFY(failures->text().toInt() >= 6);
        dialog.reset();
    }

    // Every test reaches the dialog before the next one starts: one line per
    // failure, numbered in order from 000. The start button says "Start !"
    // until a first run has ended.
    void wsShowsEveryTestInOrderAndStopsWhenClosed() {
        RelayRig rig;
        test::WriteWholeFile(rig.line.Dir().File("TESTBAY.INI"), "[WSTEST]\r\nTIME=7\r\nBAUDRATE=128000\r\n");
        rig.line.Line().SetAnswerDelayMs(20);
        rig.relay.Hardware().analog.ws[kWsChannel].linkUp = false;
        auto dialog = std::make_unique<WsTestView>(kWsChannel);
        dialog->show();
        QCOMPARE(test::NamedChild<QComboBox>(*dialog, "baudBox")->currentText(), QString("128000"));
        auto* time = test::NamedChild<QLineEdit>(*dialog, "timeBox");
        QCOMPARE(time->text(), QString("7"));
        time->setText("0");
        auto* start = test::NamedChild<QPushButton>(*dialog, "startButton");
        QCOMPARE(start->text(), QString("Start !"));
        start->click();
        QCOMPARE(start->text(), QString("Stop Test !"));
        QCOMPARE(time->text(), QString("5"));
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), QString("Start Test !"), 30000);
        auto* list = test::NamedChild<QListWidget>(*dialog, "failureList");
        auto* failed = test::NamedChild<QLineEdit>(*dialog, "failedBox");
        QVERIFY(failed->text().toInt() > 10);
        QCOMPARE(list->count(), failed->text().toInt());
        for (int row = 0; row < list->count(); ++row) {
            QVERIFY(list->item(row)->text().startsWith(QString("Test#%1 ").arg(row, 3, 10, QChar('0'))));
        }

        time->setText("3600");
        start->click();
        QTRY_VERIFY(failed->text().toInt() >= 1);
        dialog->close();
        QVERIFY(!ProcessWsTestRun().IsActive());
        start->click();
        QTRY_VERIFY(failed->text().toInt() >= 1);
        dialog.reset();
        QVERIFY(!ProcessWsTestRun().IsActive());
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::CommTestsTest)
#include "comm_tests_test.moc"
