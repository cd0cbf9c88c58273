#pragma once

#include <QDialog>

#include "tools/test_dialogs_view.h"
#include "tools/ws_test.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace testbay {

// "WS-Test": repeats the relay's protection-interface test on one channel
// for a given time on a worker thread, counting and listing the failures.
class WsTestView final : public QDialog {
    Q_OBJECT

public:
    explicit WsTestView(int channel, QWidget* parent = nullptr);
    // A running test is stopped and its worker waited for.
    ~WsTestView() override;

    void done(int result) override;

private:
    QWidget* BuildSettings();
    QWidget* BuildCounters();
    void StartOrStop();
    // Runs on this thread while the worker waits.
    void OnNotice(uint32_t notice);
    void ShowCounters();
    void SaveToFile();
    void StopAndWait();

    // Before test_: it outlives the worker.
    WorkerNotices notices_;
    WsTest test_;
    QComboBox* baudBox_ = nullptr;
    QLineEdit* timeBox_ = nullptr;
    QCheckBox* clockRecovering_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QLineEdit* totalBox_ = nullptr;
    QLineEdit* passedBox_ = nullptr;
    QLineEdit* failedBox_ = nullptr;
    QListWidget* failureList_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace testbay
