#pragma once

#include <QMainWindow>
#include <QString>
#include <atomic>

#include "app/frame_connection.h"

class QToolBar;

namespace testbay {

class CHWTSheet;

// The program's bar at the top of the screen: the serial connection dialog,
// the hardware-test sheets, and the connection the sheets share.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    explicit CMainFrame(const QString& title, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // 1 when the relay answers in the hardware test; beeps and tells the user otherwise.
    int EnsureConnected();
    void RegisterTestWindow(CHWTSheet* window);
    void ReleaseTestWindow(CHWTSheet* window);
    // Watches `stop` (set by a stop signal); once set, closes the frame and
    // says so with closedOnStopRequest.
    void CloseOnStopRequest(const std::atomic<bool>& stop);

    FrameConnection& Connection() { return connection_; }
    QToolBar* ToolBar() const { return toolBar_; }

signals:
    void closedOnStopRequest();

public slots:
    // kCommandSerialConnection: the serial connection dialog, modal.
    void OnSerialConnection();
    // kCommandHardwareTest: a further hardware-test sheet.
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
