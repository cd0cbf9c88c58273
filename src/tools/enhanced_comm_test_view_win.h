#pragma once

#include "tools/enhanced_comm_test.h"
#include "tools/test_dialogs_view_win.h"

namespace testbay {

// "Enhanced Communication Tests": sends a test data set through one of the
// relay's serial interfaces on a worker thread and lists every failure.
class EnhancedCommTestDialog final : public TestDialog {
public:
    explicit EnhancedCommTestDialog(int portIndex);

    void Show(HWND owner);

private:
    void OnInit() override;
    void OnClick(int id) override;
    void StopAndWait() override;
    void AddErrorColumns() const;
    void StartOrStop();
    CommTestInputs Inputs() const;
    // Runs on the window thread while the worker waits.
    void OnNotice(const CommTestNotice& notice);
    void InsertErrorLine(const CommTestErrorLine& line) const;

    EnhancedCommTest test_;
};

}  // namespace testbay
