#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTabBar>
#include <QtTest>
#include <memory>

#include "hwt/hwt_client.h"
#include "pages/hwt_sheet_view.h"
#include "support/virtual_line.h"

namespace testbay {

class HwtSheetTest : public QObject {
    Q_OBJECT

private:
    // A relay with a front port, an RS485 port with a test plug and a
    // fibre-optic port; the protection interface is not listed.
    struct Bench {
        Bench() {
            relay.Hardware().identity.cpuType = "PBX1";
            relay.Hardware().serialPorts.ports[1].loopbackPlug = true;
            channel = line.OpenChannel();
            ComBaud(channel, sim::RelayModel::kHardwareTestStartBaud);
            client = std::make_unique<CHwtV4Client>(channel);
        }
        sim::RelayModel relay;
        test::VirtualLineFixture line{relay};
        int channel = -1;
        std::unique_ptr<CHwtV4Client> client;
    };

    static QSize LampSize(const CHWTCom& page) { return page.Lamp()->pixmap().size(); }

private slots:
    // The test dialogs are modal: note the caption of the next one and close it.
    static void CloseNextModalDialog(QString& caption) {
        QTimer::singleShot(0, [&caption] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                caption = dialog->windowTitle();
                dialog->close();
            }
        });
    }

    void LampImagesHaveTheirSizes() {
        QCOMPARE(LampPixmap(LampImage::Resting).size(), QSize(36, 13));
        QCOMPARE(LampPixmap(LampImage::Success).size(), QSize(37, 14));
        QCOMPARE(LampPixmap(LampImage::Failure).size(), QSize(37, 14));
        const QImage green = LampPixmap(LampImage::Success).toImage();
        const QColor centre = green.pixelColor(18, 9);
        QVERIFY(centre.green() > centre.red());
    }

    void SheetShowsTheRelaysInterfaces() {
        Bench bench;
        CHWTSheet sheet;
        sheet.show();
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Hardware Testbaying"));
        CHWTCom& page = *sheet.SerialPorts();
        QTabBar& tabs = *page.Tabs();
        QCOMPARE(tabs.count(), 3);
        QCOMPARE(tabs.tabText(0), QStringLiteral("Front"));
        QCOMPARE(tabs.tabText(1), QStringLiteral("Port B"));
        QCOMPARE(tabs.tabText(2), QStringLiteral("Port C"));
        QCOMPARE(page.PortId()->text(), QStringLiteral("00"));
        QCOMPARE(page.Type()->text(), QStringLiteral("RS232"));
        QCOMPARE(page.Baudrates()->count(), 6);
        QCOMPARE(page.Baudrates()->currentText(), QStringLiteral("38400"));
        QVERIFY(!page.TestButton()->isEnabled());
        QVERIFY(!page.ProtectionBox()->isEnabled());
        QCOMPARE(LampSize(page), QSize(36, 13));

        tabs.setCurrentIndex(1);
        QCOMPARE(page.PortId()->text(), QStringLiteral("02"));
        QCOMPARE(page.Type()->text(), QStringLiteral("RS485"));
        QVERIFY(page.TestButton()->isEnabled());
        QVERIFY(page.ExtendedTestsButton()->isEnabled());

        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QCOMPARE(LampSize(page), QSize(37, 14));
        QVERIFY(page.Lamp()->pixmap().toImage().pixelColor(18, 9).green() > 100);

        QSignalSpy extended(&page, &CHWTCom::extendedTestsRequested);
        QString opened;
        CloseNextModalDialog(opened);
        QTest::mouseClick(page.ExtendedTestsButton(), Qt::LeftButton);
        QCOMPARE(extended.count(), 1);
        QCOMPARE(extended[0][0].toInt(), 1);
        QCOMPARE(opened, QStringLiteral("Enhanced Communication Tests"));
    }

    void BindingAnInterfaceTurnsItsTestButton() {
        Bench bench;
        CHWTSheet sheet;
        sheet.show();
        CHWTCom& page = *sheet.SerialPorts();
        page.Tabs()->setCurrentIndex(2);
        QVERIFY(!page.Channels()->isEnabled());
        QTest::mouseClick(page.ProtectionBox(), Qt::LeftButton);
        QVERIFY(page.ProtectionBox()->isChecked());
        QVERIFY(page.Channels()->isEnabled());
        QCOMPARE(page.Channels()->count(), 2);

        emit page.Channels()->activated(1);
        QCOMPARE(bench.relay.Hardware().analog.ws[1].port, 2);
        QCOMPARE(page.TestButton()->text(), QStringLiteral("&Test Protection Interface ..."));
        QVERIFY(page.ProtectionBox()->isChecked());
        QVERIFY(!page.Baudrates()->isEnabled());
        QVERIFY(!page.ExtendedTestsButton()->isEnabled());
        QCOMPARE(page.Channels()->currentText(), QStringLiteral("1"));

        QSignalSpy protection(&page, &CHWTCom::protectionTestRequested);
        QString opened;
        CloseNextModalDialog(opened);
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QCOMPARE(protection.count(), 1);
        QCOMPARE(protection[0][0].toInt(), 1);
        QCOMPARE(opened, QStringLiteral("WS-Test Channel:1"));
    }

    void ALostLineShowsTheFailureLamp() {
        Bench bench;
        CHWTSheet sheet;
        CHWTCom& page = *sheet.SerialPorts();
        page.Tabs()->setCurrentIndex(1);
        ComClose(bench.channel);
        QTest::mouseClick(page.TestButton(), Qt::LeftButton);
        QCOMPARE(LampSize(page), QSize(37, 14));
        QVERIFY(page.Lamp()->pixmap().toImage().pixelColor(18, 9).red() > 150);
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::HwtSheetTest)
#include "hwt_sheet_test.moc"
