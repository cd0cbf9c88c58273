#pragma once

#include <QMainWindow>
#include <QString>

#include "app/frame_connection.h"

class QToolBar;

namespace testbay {

class CHWTSheet;

// The program's bar at the top of the screen: the serial connection dialog,
// the hardware-test sheets, and the connection the sheets share.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* kProgramName = "Testbay";

    explicit CMainFrame(const QString& title, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // 1 when the relay answers in the hardware test; beeps and tells the user otherwise.
    int EnsureConnected();
    void RegisterTestWindow(CHWTSheet* window);
    void ReleaseTestWindow(CHWTSheet* window);

    FrameConnection& Connection() { return connection_; }
    QToolBar* ToolBar() const { return toolBar_; }

public slots:
    // Command 32777: the serial connection dialog, modal.
    void OnSerialConnection();
    // Command 32786: a further hardware-test sheet.
    CHWTSheet* OnHardwareTest();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateToolBar();
    void PlaceAtStoredPosition();
    void TellUnableToConnect(const QString& detail);

    FrameConnection connection_;
    QToolBar* toolBar_ = nullptr;
};

}  // namespace testbay
