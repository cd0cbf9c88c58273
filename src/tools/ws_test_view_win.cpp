#include "tools/ws_test_view_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "platform/text_win.h"
#include "tools/test_dialogs_view_ids.h"

namespace testbay {
namespace {

// Room for the longest failure line in the list's own font.
constexpr int kFailureListExtent = 1600;

UINT BeepType(WsTest::Beep beep) { return beep == WsTest::Beep::kSimple ? 0xFFFFFFFF : MB_OK; }

}  // namespace

WsTestDialog::WsTestDialog(int channel)
    : test_(channel, [this](uint32_t notice) { notices_.Send([this, notice] { OnNotice(notice); }); }) {}

void WsTestDialog::Show(HWND owner) { Run(owner, TESTBAY_WS_TEST_DIALOG); }

void WsTestDialog::OnInit() {
    SetWindowTextW(Window(), WideText(test_.Caption()).c_str());
    const HWND baud = Item(TESTBAY_WS_TEST_BAUD);
    for (const char* rate : WsTest::kBaudRates) {
        SendMessageW(baud, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(rate).c_str()));
    }
    test_.ReadSettings();
    SendMessageW(baud, CB_SETCURSEL, static_cast<WPARAM>(test_.BaudEntry()), 0);
    SetItemText(TESTBAY_WS_TEST_TIME, test_.TimeText());
    SetChecked(TESTBAY_WS_TEST_CLOCK_RECOVERY, test_.ClockRecovery());
    SetItemText(TESTBAY_WS_TEST_START, test_.StartButtonText());
    SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_PROGRESS, PBM_SETRANGE32, 0, WsTest::kProgressMaximum);
    SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_FAILURE_LIST, LB_SETHORIZONTALEXTENT, kFailureListExtent, 0);
}

void WsTestDialog::OnClick(int id) {
    switch (id) {
    case TESTBAY_WS_TEST_START: StartOrStop(); break;
    case TESTBAY_WS_TEST_BEEP_ON_ERROR: test_.SetBeepOnError(IsChecked(TESTBAY_WS_TEST_BEEP_ON_ERROR)); break;
    case TESTBAY_WS_TEST_SAVE: SaveToFile(); break;
    default: break;
    }
}

void WsTestDialog::StartOrStop() {
    if (test_.IsRunning()) {
        test_.Stop();
        return;
    }
    const auto baudEntry = static_cast<int>(SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_BAUD, CB_GETCURSEL, 0, 0));
    // Refused while the previous worker is still ending: one press later works.
    if (!test_.Start(ItemText(TESTBAY_WS_TEST_TIME), baudEntry, IsChecked(TESTBAY_WS_TEST_CLOCK_RECOVERY))) return;
    SetItemText(TESTBAY_WS_TEST_TIME, test_.TimeText());
    SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_PROGRESS, PBM_SETRANGE32, 0, WsTest::kProgressMaximum);
    SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_FAILURE_LIST, LB_RESETCONTENT, 0, 0);
    ShowCounters();
    SetItemText(TESTBAY_WS_TEST_START, test_.StartButtonText());
}

void WsTestDialog::OnNotice(uint32_t notice) {
    const bool beep = test_.Apply(notice);
    if (notice == kWsTestDone) {
        const HWND list = Item(TESTBAY_WS_TEST_FAILURE_LIST);
        const auto shown = static_cast<size_t>(std::max<LRESULT>(0, SendMessageW(list, LB_GETCOUNT, 0, 0)));
        for (const std::string& line : test_.FailureLinesAfter(shown)) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(line).c_str()));
        }
        ShowCounters();
        if (beep) {
            for (const WsTest::Beep kind : WsTest::kErrorBeeps) MessageBeep(BeepType(kind));
        }
    } else if (notice == kWsTestFinished) {
        SetItemText(TESTBAY_WS_TEST_START, test_.StartButtonText());
    }
    ShowProgress();
}

void WsTestDialog::ShowCounters() const {
    SetItemText(TESTBAY_WS_TEST_TOTAL, std::to_string(test_.Total()));
    SetItemText(TESTBAY_WS_TEST_PASSED, std::to_string(test_.Passed()));
    SetItemText(TESTBAY_WS_TEST_FAILED, std::to_string(test_.Failed()));
}

void WsTestDialog::ShowProgress() const {
    SendDlgItemMessageW(Window(), TESTBAY_WS_TEST_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(test_.Progress()), 0);
}

void WsTestDialog::SaveToFile() const {
    std::wstring path(MAX_PATH, L'\0');
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = Window();
    choice.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    choice.lpstrFile = path.data();
    choice.nMaxFile = static_cast<DWORD>(path.size());
    choice.lpstrTitle = L"Save to file";
    choice.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&choice)) return;
    path.resize(path.find(L'\0'));
    // A file that cannot be written is skipped without a message.
    test_.SaveFailureList(std::filesystem::path(path));
}

void WsTestDialog::StopAndWait() {
    test_.Stop();
    notices_.WaitUntil([this] { return !test_.IsWorkerActive(); });
    test_.Join();
}

}  // namespace testbay
