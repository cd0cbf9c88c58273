#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/serial_setup_view.h"
#include "support/named_widget.h"
#include "support/recorded_help.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test_view.h"

namespace testbay {

// The Help buttons, pressed in their windows, hand the README's section to
// the system's viewer (a recorder here), from a program folder that holds
// the README as a build tree does.
class HelpButtonsTest : public QObject {
    Q_OBJECT

private slots:
    void helpOpensTheReadmeAtTheWindowsSection() {
        test::ScriptedPeer peer;
        test::VirtualLineFixture line(peer);
        test::WriteWholeFile(line.Dir().File("README.md"), "# Testbay\n");
        const std::string readme = line.Dir().File("README.md");
        test::RecordedHelp help(line.Dir().Path());

        CSerialSetupDlg setup;
        QTest::mouseClick(setup.HelpButton(), Qt::LeftButton);
        EnhancedCommTestView commTest(1);
        QTest::mouseClick(test::NamedChild<QPushButton>(commTest, "helpButton"), Qt::LeftButton);

        QCOMPARE(help.pages.size(), size_t{2});
        const QString file = QString::fromStdString(readme);
        QCOMPARE(QString::fromStdString(help.pages[0].file), file);
        QCOMPARE(QString::fromStdString(help.pages[0].anchor), QStringLiteral("pointing-it-at-a-real-relay"));
        QCOMPARE(QString::fromStdString(help.pages[1].file), file);
        QCOMPARE(QString::fromStdString(help.pages[1].anchor), QStringLiteral("the-desktop-window"));
    }

    // A desktop without a viewer: the button says so instead of doing nothing.
    void helpWithoutAViewerSaysWhy() {
        test::ScriptedPeer peer;
        test::VirtualLineFixture line(peer);
        test::WriteWholeFile(line.Dir().File("README.md"), "# Testbay\n");
        HelpDisplay previous = UseHelpDisplay(HelpDisplay(line.Dir().Path(), [](const HelpPage&) { return false; }));
        QString title, text;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
        CSerialSetupDlg setup;
        QTest::mouseClick(setup.HelpButton(), Qt::LeftButton);
        UseHelpDisplay(std::move(previous));
        QCOMPARE(title, QStringLiteral("Testbay"));
        QCOMPARE(text, QString::fromStdString("The help cannot be shown: no viewer could be started for " +
                                              line.Dir().File("README.md")));
    }
};

}  // namespace testbay

QTEST_MAIN(testbay::HelpButtonsTest)
#include "help_buttons_test.moc"
