#include "app/serial_setup_view_win.h"

#include "app/help_view_win.h"
#include "app/main_frame_view_ids.h"
#include "app/serial_setup.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

// The drop-down sorts its entries itself, so each one carries its index into
// SerialSetup::Choices().
void FillPorts(HWND dialog, const SerialSetup& setup) {
    const HWND ports = GetDlgItem(dialog, TESTBAY_SERIAL_SETUP_PORTS);
    const auto& choices = setup.Choices();
    for (size_t index = 0; index < choices.size(); ++index) {
        const LRESULT item =
            SendMessageW(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(choices[index].text).c_str()));
        if (item >= 0) SendMessageW(ports, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(index));
    }
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
