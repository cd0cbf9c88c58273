#include "app/main_frame_view_win.h"

#include <commctrl.h>

#include <iterator>
#include <string>

#include "app/frame_commands.h"
#include "app/main_frame_view_ids.h"
#include "app/serial_setup_view_win.h"
#include "comm/line_failure.h"
#include "pages/hwt_sheet_view_win.h"
#include "platform/text_win.h"
#include "tools/test_dialogs_view_win.h"

namespace testbay {
namespace {

constexpr const wchar_t* kWindowClass = L"TestbayMainFrame";
constexpr int kToolImageWidth = 24;
constexpr int kToolImageHeight = 20;
constexpr int kToolButtonWidth = 31;
constexpr int kToolButtonHeight = 27;
constexpr UINT_PTR kStopTimer = 1;
constexpr UINT kStopPollMs = 100;

struct ToolButton {
    int command;
    const wchar_t* tip;
};
// In the order of their images in the bitmap.
constexpr ToolButton kToolButtons[] = {
    {kCommandExit, L"Exit"},
    {kCommandHardwareTest, L"Hardware-Testbaying"},
};

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool RegisterFrameClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(Instance(), kWindowClass, &windowClass)) return true;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = Instance();
    windowClass.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(TESTBAY_FRAME_RESOURCE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

CMainFrame::CMainFrame(const std::string& title, const std::atomic<bool>& stop) : stop_(stop) {
    if (!RegisterFrameClass(&CMainFrame::WindowProc)) return;
    const FrameGeometry geometry = InitialFrameGeometry(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    HWND window = CreateWindowExW(0, kWindowClass, WideText(title).c_str(), WS_OVERLAPPEDWINDOW, geometry.x, geometry.y,
                                  geometry.width, geometry.height, nullptr,
                                  LoadMenuW(Instance(), MAKEINTRESOURCEW(TESTBAY_FRAME_RESOURCE)), Instance(), nullptr);
    if (!window) return;
    // The frame handles its window from here on: the sizes of the creation
    // are the stored ones, so they need no store.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
    // Without its toolbar the bar offers nothing: the frame is not made.
    if (!CreateToolBar()) {
        DestroyWindow(window_);
        window_ = nullptr;
        return;
    }
    SetTimer(window_, kStopTimer, kStopPollMs, nullptr);
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

CMainFrame::~CMainFrame() {
    if (window_) DestroyWindow(window_);
}

// A plain toolbar: the bar is too low to dock it anywhere else, so a rebar's
// bands would give the user nothing to move.
bool CMainFrame::CreateToolBar() {
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT,
                               0, 0, 0, 0, window_, nullptr, Instance(), nullptr);
    if (!toolBar_) return false;
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kToolImageWidth, kToolImageHeight));
    // Loaded by the toolbar from the resource, light grey shows as the button's face.
    TBADDBITMAP images{Instance(), TESTBAY_FRAME_RESOURCE};
    const LRESULT first =
        SendMessageW(toolBar_, TB_ADDBITMAP, std::size(kToolButtons), reinterpret_cast<LPARAM>(&images));
    if (first < 0) return false;
    TBBUTTON buttons[std::size(kToolButtons)]{};
    for (size_t index = 0; index < std::size(kToolButtons); ++index) {
        buttons[index].iBitmap = static_cast<int>(first + static_cast<LRESULT>(index));
        buttons[index].idCommand = kToolButtons[index].command;
        buttons[index].fsState = TBSTATE_ENABLED;
        buttons[index].fsStyle = BTNS_BUTTON;
    }
    if (!SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons))) return false;
    SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(kToolButtonWidth, kToolButtonHeight));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    return true;
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* frame = reinterpret_cast<CMainFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!frame || frame->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return frame->Handle(message, wParam, lParam);
}

LRESULT CMainFrame::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (toolBar_) SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
        // A minimized frame keeps the position it had.
        if (wParam != SIZE_MINIMIZED) StorePosition();
        return 0;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_NOTIFY: {
        auto* tip = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        if (tip->hdr.code != TTN_GETDISPINFOW) break;
        for (const ToolButton& button : kToolButtons) {
            if (tip->hdr.idFrom == static_cast<UINT_PTR>(button.command))
                tip->lpszText = const_cast<LPWSTR>(button.tip);
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == kStopTimer && stop_.load()) {
            KillTimer(window_, kStopTimer);
            Close();
        }
        return 0;
    case WM_CLOSE: Close(); return 0;
    case WM_DESTROY:
        KillTimer(window_, kStopTimer);
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void CMainFrame::StorePosition() {
    RECT rect{};
    if (!GetWindowRect(window_, &rect)) return;
    StoreFramePosition({rect.left, rect.top, rect.right, rect.bottom});
}

void CMainFrame::OnCommand(int command) {
    switch (command) {
    case kCommandSerialConnection: OpenSerialSetupDialog(window_); break;
    case kCommandHardwareTest: OnHardwareTest(); break;
    case kCommandExit: Close(); break;
    default: break;
    }
}

int CMainFrame::EnsureConnected() {
    FrameConnection::Outcome outcome;
    {
        const WaitCursor wait;
        outcome = connection_.EnsureConnectedForUser();
    }
    if (outcome.beep) MessageBeep(MB_ICONWARNING);
    if (outcome.showMessage) TellUnableToConnect(outcome.detail);
    return outcome.result;
}

void CMainFrame::TellUnableToConnect(const std::string& detail) {
    std::string text = kUnableToConnectText;
    if (!detail.empty()) text += "\n" + detail;
    MessageBoxW(window_, WideText(text).c_str(), WideText(kProgramName).c_str(), MB_OK | MB_ICONWARNING);
}

void CMainFrame::OnHardwareTest() {
    if (EnsureConnected() != 1) return;
    const HWND sheet = OpenHardwareTestSheet(window_, [this](HWND closed) { ReleaseTestWindow(closed); });
    if (!sheet) {
        // No window will give the use back, so it goes back at once.
        connection_.RegisterTestWindow(window_);
        ReleaseTestWindow(window_);
        return;
    }
    RegisterTestWindow(sheet);
}

void CMainFrame::RegisterTestWindow(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int top = CentredWindowTop(GetSystemMetrics(SM_CYSCREEN), rect.bottom - rect.top);
    SetWindowPos(window, HWND_TOP, rect.left, top, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(window);
    connection_.RegisterTestWindow(window);
}

void CMainFrame::ReleaseTestWindow(HWND window) {
    if (const auto failure = CatchLineFailure([this, window] { connection_.ReleaseTestWindow(window); })) {
        MessageBoxW(window_, WideText(*failure).c_str(), WideText(kProgramName).c_str(), MB_OK | MB_ICONWARNING);
    }
    if (window_ && !closing_) SetForegroundWindow(window_);
}

void CMainFrame::Close() {
    if (closing_ || !window_) return;
    closing_ = true;
    // The open dialogs close once their runs have let the client go.
    connection_.CloseAfterTestRuns(HandleWindowEventsWhileWaiting);
    EndCommunicationTestDialogs();
    DestroyWindow(window_);
}

}  // namespace testbay
