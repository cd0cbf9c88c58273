#pragma once

#include "tools/test_dialogs_view_win.h"
#include "tools/ws_test.h"

namespace testbay {

// "WS-Test": repeats the relay's protection-interface test on one channel
// for a given time on a worker thread, counting and listing the failures.
class WsTestDialog final : public TestDialog {
public:
    explicit WsTestDialog(int channel);

    void Show(HWND owner);

private:
    void OnInit() override;
    void OnClick(int id) override;
    void StopAndWait() override;
    void StartOrStop();
    // Runs on the window thread while the worker waits.
    void OnNotice(uint32_t notice);
    void ShowCounters() const;
    void ShowProgress() const;
    void SaveToFile() const;

    WsTest test_;
};

}  // namespace testbay
