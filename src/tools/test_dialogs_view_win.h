#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "tools/notice_hand_over.h"

namespace testbay {

// The communication-test dialogs, modal over `owner`.
void OpenEnhancedCommunicationTests(HWND owner, int portIndex);
void OpenWsTest(HWND owner, int channel);
// Ends every open communication-test dialog (once their runs have let the
// client go): the frame closes.
void EndCommunicationTestDialogs();

// Handles the window thread's pending messages except user input, waiting
// briefly for one: what a window does while it waits for a worker.
void HandleWindowEventsWhileWaiting();

// The window thread's side of a NoticeHandOver: a message posted to the
// dialog delivers each notice.
class WorkerNotices {
public:
    static constexpr UINT kDeliverMessage = WM_APP + 1;

    WorkerNotices();
    WorkerNotices(const WorkerNotices&) = delete;
    WorkerNotices& operator=(const WorkerNotices&) = delete;

    // The window whose kDeliverMessage handler calls Deliver; set before a worker starts.
    void Attach(HWND window) { window_ = window; }
    // On the worker: runs `handle` on the window thread, returns after it ran.
    void Send(const std::function<void()>& handle) { handOver_.Send(handle); }
    void Deliver() { handOver_.Deliver(); }
    // Keeps handling the notices (user input excepted) until `ended` is true.
    void WaitUntil(const std::function<bool()>& ended);

private:
    std::atomic<HWND> window_{nullptr};
    NoticeHandOver handOver_;
};

// What both dialogs share: a modal dialog from a template that ends its run
// and waits for its worker before it goes, however it is closed.
class TestDialog {
public:
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;

    // Stops the run, waits for it, and ends the dialog.
    void End();

protected:
    TestDialog() = default;
    virtual ~TestDialog() = default;

    // Shows the dialog modally over `owner` until it ends.
    void Run(HWND owner, int templateId);

    virtual void OnInit() = 0;
    // A button of the dialog was clicked (Close excepted).
    virtual void OnClick(int id) = 0;
    // Asks the run to end and handles its notices until its worker has ended.
    virtual void StopAndWait() = 0;

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text) const;
    bool IsChecked(int id) const { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
    void SetChecked(int id, bool checked) const;
    HWND Window() const { return window_; }

    // Before the logic of the derived dialog: it outlives the worker.
    WorkerNotices notices_;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam);

    HWND window_ = nullptr;
    // Once set, the dialog takes no further commands.
    bool ending_ = false;
};

}  // namespace testbay
