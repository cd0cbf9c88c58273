#include <signal.h>

#include <atomic>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include "app/main_frame_view.h"
#include "platform/console.h"
#include "pages/hwt_sheet_view.h"
#include "support/environment.h"
#include "support/named_widget.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test_view.h"
#include "tools/test_dialogs_view.h"
#include "tools/ws_test_view.h"

namespace testbay {
namespace {

constexpr int kPort = 1;
constexpr int kWsChannel = 0;

// A communication-test dialog as the frame opens it, with a run that only
// ends when it is stopped.
struct DialogCase {
    const char* startCaption;
    const char* countBox;
    std::function<void(CMainFrame&, CHWTSheet&)> open;
    std::function<void(QDialog&)> prepare;
};

DialogCase EnhancedCase() {
    return {"&Start", "failBox", [](CMainFrame& frame, CHWTSheet&) { OpenEnhancedCommunicationTests(&frame, kPort); },
            [](QDialog& dialog) {
                test::NamedChild<QRadioButton>(dialog, "sendOnly")->setChecked(true);
                test::NamedChild<QRadioButton>(dialog, "textChoice")->setChecked(true);
                test::NamedChild<QLineEdit>(dialog, "textBox")->setText("abc");
                test::NamedChild<QCheckBox>(dialog, "repeat")->setChecked(true);
                test::NamedChild<QLineEdit>(dialog, "intervalBox")->setText("10");
            }};
}

DialogCase WsCase() {
    return {"Start Test !", "totalBox", [](CMainFrame&, CHWTSheet& sheet) { OpenWsTest(&sheet, kWsChannel); },
            [](QDialog& dialog) { test::NamedChild<QLineEdit>(dialog, "timeBox")->setText("3600"); }};
}

}  // namespace

class StopSignalTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { CatchStopRequests(stop_); }

    // SIGTERM while a communication test runs: the dialog ends the run and
    // waits for its worker before the frame drops the client that the worker
    // talks through.
    void stopSignalEndsTheRunBeforeTheFrameCloses_data() {
        QTest::addColumn<bool>("ws");
        QTest::newRow("enhanced communication tests") << false;
        QTest::newRow("WS-Test") << true;
    }
    void stopSignalEndsTheRunBeforeTheFrameCloses() {
        QFETCH(bool, ws);
        const DialogCase dialogCase = ws ? WsCase() : EnhancedCase();
        sim::RelayModel relay;
        relay.Hardware().serialPorts.ports.at(kPort).broken = true;
        relay.Hardware().analog.ws[kWsChannel].linkUp = false;
        test::VirtualLineFixture line(relay);
        line.Line().SetAnswerDelayMs(5);
        test::ScopedEnv windowsDir{"TESTBAY_WINDOWS_DIR", line.Dir().Path()};
        stop_ = false;

        CMainFrame frame(QStringLiteral("frame"));
        frame.show();
        CHWTSheet* sheet = frame.OnHardwareTest();
        QVERIFY(sheet);
        frame.CloseOnStopRequest(stop_);
        QSignalSpy closedOnStop(&frame, &CMainFrame::closedOnStopRequest);

        bool frameClosed = false;
        bool dialogClosed = false;
        QString captionAtClose;
        QTimer::singleShot(0, &frame, [&] {
            auto* dialog = frame.findChild<QDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            dialogCase.prepare(*dialog);
            auto* start = test::NamedChild<QPushButton>(*dialog, "startButton");
            start->click();
            auto* count = test::NamedChild<QLineEdit>(*dialog, dialogCase.countBox);
            QTRY_VERIFY(count->text().toInt() >= 2);

            raise(SIGTERM);
            QTRY_VERIFY(!frame.isVisible());
            frameClosed = true;
            dialogClosed = !dialog->isVisible();
            captionAtClose = start->text();
            // Lets the modal loop end whatever happened.
            if (dialog->isVisible()) dialog->reject();
        });
        dialogCase.open(frame, *sheet);

        QVERIFY(frameClosed);
        QCOMPARE(closedOnStop.count(), 1);
        QVERIFY(dialogClosed);
        QCOMPARE(captionAtClose, QString(dialogCase.startCaption));
        QVERIFY(frame.Connection().Client() == nullptr);
        QVERIFY(!ProcessWsTestRun().IsActive());
    }

private:
    std::atomic<bool> stop_{false};
};

}  // namespace testbay

QTEST_MAIN(testbay::StopSignalTest)
#include "stop_signal_test.moc"
