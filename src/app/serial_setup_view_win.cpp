#include "app/serial_setup_view_win.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/help_view_win.h"
#include "app/main_frame_view_ids.h"
#include "app/serial_setup.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

// A network port's entry carries its address, often wider than the box:
// the open list grows to show every entry whole.
void FitDroppedWidth(HWND ports, const std::vector<std::wstring>& texts) {
    HDC context = GetDC(ports);
    if (!context) return;
    const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(ports, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::wstring& text : texts) {
        SIZE size{};
        if (GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size)) {
            widest = std::max(widest, size.cx);
        }
    }
    SelectObject(context, previous);
    ReleaseDC(ports, context);
    const LONG margins = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 8;
    RECT box{};
    GetWindowRect(ports, &box);
    if (widest + margins > box.right - box.left) {
        SendMessageW(ports, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + margins), 0);
    }
}

// The drop-down sorts its entries itself, so each one carries its index into
// SerialSetup::Choices().
void FillPorts(HWND dialog, const SerialSetup& setup) {
    const HWND ports = GetDlgItem(dialog, TESTBAY_SERIAL_SETUP_PORTS);
    const auto& choices = setup.Choices();
    std::vector<std::wstring> texts;
    for (size_t index = 0; index < choices.size(); ++index) {
        texts.push_back(WideText(choices[index].text));
        const LRESULT item = SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts.back().c_str()));
        if (item >= 0) SendMessageW(ports, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(index));
    }
    FitDroppedWidth(ports, texts);
}

void ShowSelection(HWND dialog, const SerialSetup& setup) {
    const HWND ports = GetDlgItem(dialog, TESTBAY_SERIAL_SETUP_PORTS);
    LRESULT shown = -1;
    const LRESULT count = SendMessageW(ports, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count && setup.Selection() >= 0; ++item) {
        if (SendMessageW(ports, CB_GETITEMDATA, static_cast<WPARAM>(item), 0) == setup.Selection()) shown = item;
    }
    SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(shown), 0);
    SetDlgItemTextW(dialog, TESTBAY_SERIAL_SETUP_STATUS, WideText(setup.StatusText()).c_str());
}

void SelectShownPort(HWND dialog, SerialSetup& setup) {
    const HWND ports = GetDlgItem(dialog, TESTBAY_SERIAL_SETUP_PORTS);
    const LRESULT item = SendMessageW(ports, CB_GETCURSEL, 0, 0);
    setup.Select(item < 0 ? -1 : static_cast<int>(SendMessageW(ports, CB_GETITEMDATA, static_cast<WPARAM>(item), 0)));
    ShowSelection(dialog, setup);
}

INT_PTR CALLBACK SerialSetupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* setup = reinterpret_cast<SerialSetup*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        setup = reinterpret_cast<SerialSetup*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        setup->Open();
        FillPorts(dialog, *setup);
        ShowSelection(dialog, *setup);
        return TRUE;
    }
    if (message != WM_COMMAND || !setup) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        setup->Ok();
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
    case TESTBAY_SERIAL_SETUP_HELP: TellHelpFailure(dialog, setup->Help()); return TRUE;
    case TESTBAY_SERIAL_SETUP_PORTS:
        if (HIWORD(wParam) != CBN_SELCHANGE) return FALSE;
        SelectShownPort(dialog, *setup);
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

void OpenSerialSetupDialog(HWND owner) {
    SerialSetup setup;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TESTBAY_SERIAL_SETUP_DIALOG), owner, SerialSetupProc,
                    reinterpret_cast<LPARAM>(&setup));
}

}  // namespace testbay
