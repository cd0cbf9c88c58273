#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "pages/serial_ports_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTabWidget;

namespace testbay {

// Shows the wait cursor for the life of a scope.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The lamp images, drawn here: yellow resting 36×13, green and red 37×14.
QPixmap LampPixmap(LampImage image);

// The serial ports page: a thin view over SerialPortsPage.
class CHWTCom : public QWidget, private SerialPortsWindow {
    Q_OBJECT

public:
    explicit CHWTCom(QWidget* parent = nullptr);

    SerialPortsPage& Logic() { return page_; }
    QTabBar* Tabs() const { return tabs_; }
    QLineEdit* PortId() const { return portId_; }
    QLineEdit* Type() const { return type_; }
    QComboBox* Baudrates() const { return baudrates_; }
    QPushButton* TestButton() const { return testButton_; }
    QPushButton* ExtendedTestsButton() const { return extendedTests_; }
    QCheckBox* ProtectionBox() const { return protection_; }
    QComboBox* Channels() const { return channels_; }
    QLabel* Lamp() const { return lamp_; }

signals:
    // For the communication-test dialogs.
    void extendedTestsRequested(int portIndex);
    void protectionTestRequested(int channel);

private:
    QWidget* MakeIdentification();
    QWidget* MakeActions();
    QWidget* MakeOptions();
    QWidget* MakeResponse();
    void Connect();
    void Guarded(const std::function<void()>& handler) { page_.Guarded(*this, handler); }
    void ShowPage() override;
    void RunBusy(const std::function<void()>& work) override;
    void OpenProtectionTest(int32_t channel) override { emit protectionTestRequested(channel); }
    void OpenExtendedTests(int32_t portIndex) override { emit extendedTestsRequested(portIndex); }
    void ShowControls();
    void ShowLamp();

    QElapsedTimer lampClock_;
    SerialPortsPage page_;
    QTabBar* tabs_ = nullptr;
    QLineEdit* portId_ = nullptr;
    QLineEdit* type_ = nullptr;
    QComboBox* baudrates_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* extendedTests_ = nullptr;
    QCheckBox* protection_ = nullptr;
    QComboBox* channels_ = nullptr;
    QLabel* lamp_ = nullptr;
    QTimer lampTimer_;
};

// The modeless hardware-test sheet: one page, no OK, Cancel or Apply. It
// deletes itself, with its pages, once closed.
class CHWTSheet : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Hardware Testbaying";

    explicit CHWTSheet(QWidget* owner = nullptr);

    CHWTCom* SerialPorts() const { return serialPorts_; }

signals:
    // Sent before the sheet goes, so that its owner can release the connection.
    void closing(CHWTSheet* sheet);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* pages_ = nullptr;
    CHWTCom* serialPorts_ = nullptr;
};

}  // namespace testbay
