#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTabBar>
#include <QToolBar>
#include <QtTest>

#include "app/directories.h"
#include "app/frame_connection.h"
#include "app/main_frame_view.h"
#include "app/settings.h"
#include "pages/hwt_sheet_view.h"
#include "support/virtual_line.h"

namespace testbay {

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    static WindowRect StoredPosition() {
        WindowRect rect{-1, -1, -1, -1};
        ReadIniStruct("SECTION_WINDOW", "POSITION", &rect, sizeof(rect), "Testbay.ini");
        return rect;
    }
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

private slots:
    void BarHasItsCommandsAndTitle() {
        test::TempDir dir;
        SetConfigDirectory(dir.Path());
        CMainFrame frame(QStringLiteral("TESTBAY 04.02.08 based Application "));
        QCOMPARE(frame.windowTitle(), QStringLiteral("TESTBAY 04.02.08 based Application "));
        const QList<QAction*> menus = frame.menuBar()->actions();
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus[0]->text(), QStringLiteral("&Settings"));
        QCOMPARE(menus[0]->menu()->actions().size(), 1);
        QCOMPARE(menus[0]->menu()->actions()[0]->text(), QStringLiteral("&Serial Connection"));
        const QList<QAction*> tools = frame.ToolBar()->actions();
        QCOMPARE(tools.size(), 2);
        QCOMPARE(tools[0]->toolTip(), QStringLiteral("Exit"));
        QCOMPARE(tools[1]->toolTip(), QStringLiteral("Hardware-Testbaying"));
        QVERIFY(!tools[0]->icon().isNull());
        QVERIFY(!tools[1]->icon().isNull());
    }

    void ResizeStoresThePositionForTheNextStart() {
        test::TempDir dir;
        SetConfigDirectory(dir.Path());
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QRect resized;
        {
            CMainFrame frame(QStringLiteral("first"));
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QCOMPARE(frame.frameGeometry(), QRect(0, 0, screen.width(), kDefaultBarHeight));

            frame.move(40, 30);
            QCOMPARE(StoredPosition().left, 0);  // a move alone stores nothing
            frame.resize(500, 120);
            resized = frame.frameGeometry();
            QCOMPARE(resized.topLeft(), QPoint(40, 30));
            const WindowRect stored = StoredPosition();
            QCOMPARE(QRect(QPoint(stored.left, stored.top), QPoint(stored.right - 1, stored.bottom - 1)), resized);
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
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("Hardware Testbaying"));
        QCOMPARE(first->SerialPorts()->Tabs()->count(), 3);
        QPointer<CHWTSheet> second = frame.OnHardwareTest();
        QVERIFY(second);
        QCOMPARE(frame.Connection().UseCount(), 2u);
        QCOMPARE(frame.Connection().OpenTestWindows().size(), size_t{2});

        first->close();
        FlushDeletes();
        QVERIFY(!first);
        QVERIFY(frame.Connection().Client() != nullptr);
        second->close();
        FlushDeletes();
        QVERIFY(!second);
        QVERIFY(frame.Connection().Client() == nullptr);
        QCOMPARE(frame.Connection().UseCount(), 0u);

        // Closing the frame with a sheet open drops the connection.
        QPointer<CHWTSheet> open = frame.OnHardwareTest();
        QVERIFY(open);
        frame.close();
        QVERIFY(frame.Connection().Client() == nullptr);
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::MainFrameTest)
#include "main_frame_test.moc"
