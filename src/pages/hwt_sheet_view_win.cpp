#include "pages/hwt_sheet_view_win.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pages/hwt_sheet_view_ids.h"
#include "pages/serial_ports_page.h"
#include "platform/text_win.h"
#include "tools/test_dialogs_view_win.h"

namespace testbay {
namespace {

constexpr wchar_t kSheetCaption[] = L"Hardware Testbaying";
constexpr UINT_PTR kLampTimer = 1;

// The three lamp images, loaded once per page; the light grey around each
// lamp becomes the dialog's face colour.
class LampImages {
public:
    LampImages()
        : success_(Load(TESTBAY_LAMP_SUCCESS_BITMAP)),
          failure_(Load(TESTBAY_LAMP_FAILURE_BITMAP)),
          resting_(Load(TESTBAY_LAMP_RESTING_BITMAP)) {}
    ~LampImages() {
        for (HBITMAP image : {success_, failure_, resting_}) {
            if (image) DeleteObject(image);
        }
    }
    LampImages(const LampImages&) = delete;
    LampImages& operator=(const LampImages&) = delete;

    HBITMAP Of(LampImage image) const {
        switch (image) {
        case LampImage::Success: return success_;
        case LampImage::Failure: return failure_;
        case LampImage::Resting: break;
        }
        return resting_;
    }

private:
    static HBITMAP Load(int id) {
        return static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    }

    HBITMAP success_;
    HBITMAP failure_;
    HBITMAP resting_;
};

// The "Serial Ports" page: translates between its dialog's controls and
// SerialPortsPage.
class SerialPortsPageWin final : private SerialPortsWindow {
public:
    explicit SerialPortsPageWin(HWND frame) : frame_(frame) {}

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Initialise(HWND dialog);
    void Command(int id, int code);
    void LampTimerFired();
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }

    void ShowPage() override;
    void RunBusy(const std::function<void()>& work) override;
    void OpenProtectionTest(int32_t channel) override { OpenWsTest(GetParent(dialog_), channel); }
    void OpenExtendedTests(int32_t portIndex) override { OpenEnhancedCommunicationTests(frame_, portIndex); }
    void ShowTabs(const SerialPortsControls& controls);
    void ShowChannels(const SerialPortsControls& controls);
    void ShowLamp();

    HWND frame_;
    HWND dialog_ = nullptr;
    SerialPortsPage page_;
    LampImages images_;
};

INT_PTR CALLBACK SerialPortsPageWin::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<SerialPortsPageWin*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
        page->Initialise(dialog);
        return TRUE;
    }
    auto* page = reinterpret_cast<SerialPortsPageWin*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!page) return FALSE;
    switch (message) {
    case WM_COMMAND: page->Command(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != TESTBAY_PORTS_TABS || header->code != TCN_SELCHANGE) return FALSE;
        const int tab = TabCtrl_GetCurSel(header->hwndFrom);
        page->page_.Guarded(*page, [page, tab] { page->page_.SelectTab(tab); });
        return TRUE;
    }
    case WM_TIMER:
        if (wParam != kLampTimer) return FALSE;
        page->LampTimerFired();
        return TRUE;
    case WM_NCDESTROY:
        // The object goes with its sheet's entry; nothing reaches it from here on.
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        page->dialog_ = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

void SerialPortsPageWin::Initialise(HWND dialog) {
    dialog_ = dialog;
    const HWND rates = Control(TESTBAY_PORTS_BAUDRATE);
    for (const int32_t rate : SerialPortsPage::kBaudRates) {
        SendMessageW(rates, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(rate).c_str()));
    }
    page_.Guarded(*this, [this] { page_.Initialise(); });
}

void SerialPortsPageWin::Command(int id, int code) {
    switch (id) {
    case TESTBAY_PORTS_BAUDRATE:
        if (code == CBN_SELCHANGE) {
            const int entry = static_cast<int>(SendMessageW(Control(id), CB_GETCURSEL, 0, 0));
            page_.Guarded(*this, [this, entry] { page_.ChooseBaudrate(entry); });
        }
        break;
    case TESTBAY_PORTS_CHANNEL:
        if (code == CBN_SELCHANGE) {
            // The list is sorted: each entry carries its place among the page's choices.
            const LRESULT selected = SendMessageW(Control(id), CB_GETCURSEL, 0, 0);
            if (selected == CB_ERR) break;
            const int entry = static_cast<int>(SendMessageW(Control(id), CB_GETITEMDATA, selected, 0));
            page_.Guarded(*this, [this, entry] { page_.ChooseChannel(entry); });
        }
        break;
    case TESTBAY_PORTS_PROTECTION:
        if (code == BN_CLICKED) {
            const bool ticked = IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
            page_.Guarded(*this, [this, ticked] { page_.SetProtectionTicked(ticked); });
        }
        break;
    case TESTBAY_PORTS_TEST:
        if (code == BN_CLICKED) page_.PressTestButton(*this);
        break;
    case TESTBAY_PORTS_EXTENDED_TESTS:
        if (code == BN_CLICKED) page_.PressExtendedTests(*this);
        break;
    default: break;
    }
}

void SerialPortsPageWin::RunBusy(const std::function<void()>& work) {
    const WaitCursor wait;
    work();
}

void SerialPortsPageWin::ShowPage() {
    if (!dialog_) return;
    const SerialPortsControls& controls = page_.Controls();
    ShowTabs(controls);
    SetDlgItemTextW(dialog_, TESTBAY_PORTS_PORT_ID, WideText(controls.portId).c_str());
    SetDlgItemTextW(dialog_, TESTBAY_PORTS_TYPE, WideText(controls.typeName).c_str());
    SendMessageW(Control(TESTBAY_PORTS_BAUDRATE), CB_SETCURSEL, static_cast<WPARAM>(controls.baudSelection), 0);
    EnableWindow(Control(TESTBAY_PORTS_BAUDRATE), controls.baudEnabled);
    SetDlgItemTextW(dialog_, TESTBAY_PORTS_TEST, WideText(controls.testButtonLabel).c_str());
    EnableWindow(Control(TESTBAY_PORTS_TEST), controls.testButtonEnabled);
    EnableWindow(Control(TESTBAY_PORTS_EXTENDED_TESTS), controls.extendedTestsEnabled);
    CheckDlgButton(dialog_, TESTBAY_PORTS_PROTECTION, controls.protectionChecked ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(Control(TESTBAY_PORTS_PROTECTION), controls.protectionEnabled);
    ShowChannels(controls);
    ShowLamp();
}

void SerialPortsPageWin::ShowTabs(const SerialPortsControls& controls) {
    const HWND tabs = Control(TESTBAY_PORTS_TABS);
    if (TabCtrl_GetItemCount(tabs) != static_cast<int>(controls.tabLabels.size())) {
        TabCtrl_DeleteAllItems(tabs);
        for (size_t index = 0; index < controls.tabLabels.size(); ++index) {
            std::wstring label = WideText(controls.tabLabels[index]);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = label.data();
            TabCtrl_InsertItem(tabs, static_cast<int>(index), &item);
        }
    }
    TabCtrl_SetCurSel(tabs, controls.selectedTab);
}

void SerialPortsPageWin::ShowChannels(const SerialPortsControls& controls) {
    const HWND channels = Control(TESTBAY_PORTS_CHANNEL);
    SendMessageW(channels, CB_RESETCONTENT, 0, 0);
    for (size_t entry = 0; entry < controls.channelChoices.size(); ++entry) {
        const std::wstring text = std::to_wstring(controls.channelChoices[entry]);
        const LRESULT added = SendMessageW(channels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageW(channels, CB_SETITEMDATA, static_cast<WPARAM>(added), static_cast<LPARAM>(entry));
        if (static_cast<int>(entry) == controls.channelSelection) {
            SendMessageW(channels, CB_SETCURSEL, static_cast<WPARAM>(added), 0);
        }
    }
    EnableWindow(channels, controls.channelEnabled);
}

void SerialPortsPageWin::ShowLamp() {
    ResultLamp& lamp = page_.Lamp();
    SendMessageW(Control(TESTBAY_PORTS_LAMP), STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(images_.Of(lamp.Image())));
    const int64_t remaining = lamp.RemainingMs(page_.NowMs());
    if (remaining < 0) {
        KillTimer(dialog_, kLampTimer);
    } else {
        SetTimer(dialog_, kLampTimer, static_cast<UINT>(remaining), nullptr);
    }
}

void SerialPortsPageWin::LampTimerFired() {
    page_.Lamp().Expire(page_.NowMs());
    ShowLamp();
}

struct OpenSheet {
    HWND window;
    std::function<void(HWND)> closing;
    std::unique_ptr<SerialPortsPageWin> page;
};

std::vector<OpenSheet>& OpenSheets() {
    static std::vector<OpenSheet> sheets;
    return sheets;
}

// Without OK and Cancel the sheet needs no room below its pages.
void HideSheetButtons(HWND sheet) {
    for (const int button : {IDOK, IDCANCEL}) ShowWindow(GetDlgItem(sheet, button), SW_HIDE);
    RECT tabs;
    RECT client;
    RECT window;
    GetWindowRect(PropSheet_GetTabControl(sheet), &tabs);
    MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&tabs), 2);
    GetClientRect(sheet, &client);
    GetWindowRect(sheet, &window);
    const int margin = tabs.left;
    const int spare = client.bottom - (tabs.bottom + margin);
    if (spare <= 0) return;
    SetWindowPos(sheet, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - spare,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A modeless sheet that was closed has no current page any more: its
// `closing` runs, then the sheet goes. Sheets that went with their owner
// only leave the list.
void EndClosedSheets() {
    std::vector<OpenSheet>& sheets = OpenSheets();
    std::vector<OpenSheet> closed;
    for (auto sheet = sheets.begin(); sheet != sheets.end();) {
        if (IsWindow(sheet->window) && PropSheet_GetCurrentPageHwnd(sheet->window)) {
            ++sheet;
        } else {
            closed.push_back(std::move(*sheet));
            sheet = sheets.erase(sheet);
        }
    }
    for (OpenSheet& sheet : closed) {
        if (!IsWindow(sheet.window)) continue;
        if (sheet.closing) sheet.closing(sheet.window);
        DestroyWindow(sheet.window);
    }
}

}  // namespace

HWND OpenHardwareTestSheet(HWND frame, std::function<void(HWND sheet)> closing) {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    auto page = std::make_unique<SerialPortsPageWin>(frame);

    PROPSHEETPAGEW pageTemplate{};
    pageTemplate.dwSize = sizeof(pageTemplate);
    pageTemplate.hInstance = GetModuleHandleW(nullptr);
    pageTemplate.pszTemplate = MAKEINTRESOURCEW(TESTBAY_SERIAL_PORTS_PAGE);
    pageTemplate.pfnDlgProc = SerialPortsPageWin::DialogProc;
    pageTemplate.lParam = reinterpret_cast<LPARAM>(page.get());

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hwndParent = frame;
    header.hInstance = GetModuleHandleW(nullptr);
    header.pszCaption = kSheetCaption;
    header.nPages = 1;
    header.ppsp = &pageTemplate;
    const auto sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (!sheet || sheet == reinterpret_cast<HWND>(-1)) return nullptr;
    HideSheetButtons(sheet);
    OpenSheets().push_back({sheet, std::move(closing), std::move(page)});
    return sheet;
}

bool HandleSheetMessage(MSG& message) {
    // A handler may open a modal dialog: work on a copy of the list.
    std::vector<HWND> windows;
    for (const OpenSheet& sheet : OpenSheets()) windows.push_back(sheet.window);
    bool handled = false;
    for (const HWND window : windows) {
        if (IsWindow(window) && PropSheet_IsDialogMessage(window, &message)) {
            handled = true;
            break;
        }
    }
    EndClosedSheets();
    return handled;
}

}  // namespace testbay
