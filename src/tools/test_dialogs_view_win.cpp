#include "tools/test_dialogs_view_win.h"

#include <algorithm>
#include <vector>

#include "platform/text_win.h"
#include "tools/enhanced_comm_test_view_win.h"
#include "tools/ws_test_view_win.h"

namespace testbay {
namespace {

// A wait for a worker looks at its state at least this often.
constexpr DWORD kWaitSliceMs = 10;
// Every message but user input: notices, sent messages, timers and painting.
constexpr UINT kWaitingMessages = QS_POSTMESSAGE | QS_SENDMESSAGE | QS_TIMER | QS_PAINT;

// The dialogs on the window thread's stack, innermost last.
std::vector<TestDialog*>& OpenDialogs() {
    static std::vector<TestDialog*> dialogs;
    return dialogs;
}

}  // namespace

void OpenEnhancedCommunicationTests(HWND owner, int portIndex) { EnhancedCommTestDialog(portIndex).Show(owner); }

void OpenWsTest(HWND owner, int channel) { WsTestDialog(channel).Show(owner); }

void EndCommunicationTestDialogs() {
    // Innermost first; a dialog that ends leaves the list when its window goes.
    const std::vector<TestDialog*> dialogs(OpenDialogs().rbegin(), OpenDialogs().rend());
    for (TestDialog* dialog : dialogs) dialog->End();
}

void HandleWindowEventsWhileWaiting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | (kWaitingMessages << 16))) {
        if (message.message == WM_QUIT) {
            // For the message loop that ends with it.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kWaitSliceMs, kWaitingMessages);
}

WorkerNotices::WorkerNotices() : handOver_([this] { PostMessageW(window_.load(), kDeliverMessage, 0, 0); }) {}

void WorkerNotices::WaitUntil(const std::function<bool()>& ended) {
    handOver_.WaitUntil(ended, HandleWindowEventsWhileWaiting);
}

void TestDialog::End() {
    if (!window_ || ending_) return;
    ending_ = true;
    StopAndWait();
    EndDialog(window_, IDCANCEL);
}

void TestDialog::Run(HWND owner, int templateId) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, Procedure,
                    reinterpret_cast<LPARAM>(this));
}

std::string TestDialog::ItemText(int id) const {
    const HWND item = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return NarrowText(text);
}

void TestDialog::SetItemText(int id, const std::string& text) const {
    SetDlgItemTextW(window_, id, WideText(text).c_str());
}

void TestDialog::SetChecked(int id, bool checked) const {
    CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

INT_PTR CALLBACK TestDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<TestDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->window_ = window;
        dialog->notices_.Attach(window);
        OpenDialogs().push_back(dialog);
        dialog->OnInit();
        return TRUE;
    }
    auto* dialog = reinterpret_cast<TestDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog ? dialog->Handle(message, wParam) : FALSE;
}

INT_PTR TestDialog::Handle(UINT message, WPARAM wParam) {
    switch (message) {
    case WorkerNotices::kDeliverMessage: notices_.Deliver(); return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        if (ending_) return TRUE;
        if (LOWORD(wParam) == IDCANCEL) {
            End();
        } else {
            OnClick(LOWORD(wParam));
        }
        return TRUE;
    case WM_DESTROY:
        // Also when the owner goes first: no worker may outlive the window it reports to.
        ending_ = true;
        StopAndWait();
        std::erase(OpenDialogs(), this);
        window_ = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace testbay
