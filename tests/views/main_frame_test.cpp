#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include "settings/directories.h"
#include "app/frame_commands.h"
#include "app/main_frame_view.h"
#include "pages/hwt_sheet_view.h"
#include "support/virtual_line.h"

namespace testbay {

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static QAction* CommandAction(const CMainFrame& frame, int id) {
        for (QAction* action : frame.findChildren<QAction*>()) {
            if (action->data() == QVariant(id)) return action;
        }
        return nullptr;
    }

private slots:
    void ResizeStoresThePositionForTheNextStart() {
        test::TempDir dir;
        SetConfigDirectory(dir.Path());
        QRect resized;
        {
            CMainFrame frame(QStringLiteral("first"));
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QCOMPARE(frame.frameGeometry().height(), kDefaultBarHeight);
            frame.move(40, 30);
            frame.resize(500, 120);
            resized = frame.frameGeometry();
            QCOMPARE(resized.topLeft(), QPoint(40, 30));
        }
        CMainFrame next(QStringLiteral("next"));
        next.show();
        QVERIFY(QTest::qWaitForWindowExposed(&next));
        QCOMPARE(next.frameGeometry(), resized);
    }

    void SheetsShareTheConnectionUntilTheLastCloses() {
        sim::RelayModel relay;
        test::VirtualLineFixture line(relay);
        CMainFrame frame(QStringLiteral("frame"));
        frame.show();
        QPointer<CHWTSheet> first = frame.OnHardwareTest();
        QPointer<CHWTSheet> second = frame.OnHardwareTest();
        QVERIFY(first && second && first->isVisible());
        QCOMPARE(frame.Connection().UseCount(), 2u);

        first->close();
        FlushDeletes();
        QVERIFY(!first);
        QVERIFY(frame.Connection().Client() != nullptr);
        second->close();
        FlushDeletes();
        QVERIFY(frame.Connection().Client() == nullptr);

        // Closing the frame with a sheet open drops the connection.
        QVERIFY(frame.OnHardwareTest());
        frame.close();
        QVERIFY(frame.Connection().Client() == nullptr);
    }

    // Every view of the frame knows its commands by the same numbers.
    void CommandIdsNameTheFramesCommands() {
        sim::RelayModel relay;
        test::VirtualLineFixture line(relay);
        CMainFrame frame(QStringLiteral("frame"));
        frame.show();
        QAction* serialConnection = CommandAction(frame, kCommandSerialConnection);
        QVERIFY(serialConnection && serialConnection->text() == QStringLiteral("&Serial Connection"));

        QAction* hardwareTest = CommandAction(frame, kCommandHardwareTest);
        QVERIFY(hardwareTest);
        hardwareTest->trigger();
        QCOMPARE(frame.Connection().OpenTestWindows().size(), size_t{1});

        QAction* exit = CommandAction(frame, kCommandExit);
        QVERIFY(exit);
        exit->trigger();
        QVERIFY(!frame.isVisible());
        QVERIFY(frame.Connection().Client() == nullptr);
    }

    // Title and first line as ever; the second line says why.
    void UnableToConnectSaysWhyOnItsSecondLine() {
        test::TempDir dir;
        SetConfigDirectory(dir.Path());
        const std::string device = dir.File("missing");
        test::WriteWholeFile(dir.File("Testbay.ini"), "[Testbay]\r\nComPort=2\r\n[Ports]\r\nCOM2=" + device + "\r\n");
        CMainFrame frame(QStringLiteral("frame"));
        frame.show();
        QString title, text, detail;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            text = box->text();
            detail = box->informativeText();
            box->accept();
        });
        QVERIFY(frame.OnHardwareTest() == nullptr);
        QCOMPARE(title, QStringLiteral("Testbay"));
        QCOMPARE(text, QStringLiteral("Unable to connect to device"));
        QVERIFY2(detail.startsWith(QString::fromStdString("cannot open COM2 (" + device + "): No such file")),
                 qPrintable(detail));
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::MainFrameTest)
#include "main_frame_test.moc"
