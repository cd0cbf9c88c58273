#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

#include "hwt/hwt_client.h"
#include "pages/hwt_sheet_view.h"
#include "support/virtual_line.h"

namespace testbay {

class HwtSheetTest : public QObject {
    Q_OBJECT

private:
    // The test dialogs are modal: note the caption of the next one and close it.
    static void CloseNextModalDialog(QString& caption) {
        QTimer::singleShot(0, [&caption] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                caption = dialog->windowTitle();
                dialog->close();
            }
        });
    }
    static QColor LampCentre(const CHWTCom& page) { return page.Lamp()->pixmap().toImage().pixelColor(18, 9); }

private slots:
    void ButtonsReachTheLogicAndOpenTheTestDialogs() {
        // The relay's front port, RS485 port with a test plug and fibre-optic
        // port; the protection interface is not listed.
        test::HwtRelayRig bench;
        CHWTSheet sheet;
        sheet.show();
        CHWTCom& page = *sheet.SerialPorts();
        QCOMPARE(page.Tabs()->count(), 3);
        QVERIFY(!page.TestButton()->isEnabled());

        page.Tabs()->setCurrentIndex(1);
        QCOMPARE(page.Type()->text(), QStringLiteral("RS485"));
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QVERIFY(LampCentre(page).green() > 100);
        QString opened;
        CloseNextModalDialog(opened);
        QTest::mouseClick(page.ExtendedTestsButton(), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("Enhanced Communication Tests"));

        // Bound, the fibre-optic port's test button opens the protection-interface test.
        page.Tabs()->setCurrentIndex(2);
        QTest::mouseClick(page.ProtectionBox(), Qt::LeftButton);
        QVERIFY(page.Channels()->isEnabled());
        emit page.Channels()->activated(1);
        QCOMPARE(bench.relay.Hardware().analog.ws[1].port, 2);
        QCOMPARE(page.TestButton()->text(), QStringLiteral("&Test Protection Interface ..."));
        QVERIFY(!page.Baudrates()->isEnabled());
        CloseNextModalDialog(opened);
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("WS-Test Channel:1"));

        // A line that went away shows the failure lamp.
        page.Tabs()->setCurrentIndex(1);
        ComClose(bench.channel);
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QVERIFY(LampCentre(page).red() > 150);
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::HwtSheetTest)
#include "hwt_sheet_test.moc"
