#pragma once

#include <QDialog>

#include "tools/enhanced_comm_test.h"
#include "tools/test_dialogs_view.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace testbay {

// "Enhanced Communication Tests": sends a test data set through one of the
// relay's serial interfaces on a worker thread and lists every failure.
class EnhancedCommTestView final : public QDialog {
    Q_OBJECT

public:
    explicit EnhancedCommTestView(int portIndex, QWidget* parent = nullptr);
    // A running test is stopped and its worker waited for.
    ~EnhancedCommTestView() override;

    void done(int result) override;

private:
    QWidget* BuildDataChoice();
    QWidget* BuildModeChoice();
    QWidget* BuildParameters();
    QWidget* BuildCounters();
    void BuildErrorList();
    void StartOrStop();
    CommTestInputs Inputs() const;
    // Runs on this thread while the worker waits.
    void OnNotice(const CommTestNotice& notice);
    void StopAndWait();

    // Before test_: it outlives the worker.
    WorkerNotices notices_;
    EnhancedCommTest test_;
    QRadioButton* fixedLength_ = nullptr;
    QLineEdit* lengthBox_ = nullptr;
    QRadioButton* textChoice_ = nullptr;
    QLineEdit* textBox_ = nullptr;
    QRadioButton* hexChoice_ = nullptr;
    QLineEdit* hexBox_ = nullptr;
    QRadioButton* sendAndWait_ = nullptr;
    QRadioButton* sendOnly_ = nullptr;
    QCheckBox* repeat_ = nullptr;
    QCheckBox* breakOnError_ = nullptr;
    QLineEdit* timeoutBox_ = nullptr;
    QLineEdit* intervalBox_ = nullptr;
    QLabel* baudLabel_ = nullptr;
    QLineEdit* baudBox_ = nullptr;
    QLabel* channelLabel_ = nullptr;
    QLineEdit* channelBox_ = nullptr;
    QLineEdit* passBox_ = nullptr;
    QLineEdit* failBox_ = nullptr;
    QTreeWidget* errorList_ = nullptr;
    QPushButton* startButton_ = nullptr;
};

}  // namespace testbay
