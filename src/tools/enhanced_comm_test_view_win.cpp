#include "tools/enhanced_comm_test_view_win.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "app/help.h"
#include "app/help_view_win.h"
#include "platform/text_win.h"
#include "tools/test_dialogs_view_ids.h"

namespace testbay {

EnhancedCommTestDialog::EnhancedCommTestDialog(int portIndex)
    : test_(portIndex, [this](const CommTestNotice& notice) { notices_.Send([this, &notice] { OnNotice(notice); }); }) {
}

void EnhancedCommTestDialog::Show(HWND owner) { Run(owner, TESTBAY_COMM_TEST_DIALOG); }

void EnhancedCommTestDialog::OnInit() {
    AddErrorColumns();
    const CommTestInputs defaults;
    SetChecked(TESTBAY_COMM_TEST_FIXED_LENGTH, defaults.data == CommTestData::kFixedLength);
    SetItemText(TESTBAY_COMM_TEST_LENGTH, defaults.lengthText);
    SetChecked(defaults.sendAndWait ? TESTBAY_COMM_TEST_SEND_AND_WAIT : TESTBAY_COMM_TEST_SEND_ONLY, true);
    SetItemText(TESTBAY_COMM_TEST_TIMEOUT, defaults.timeoutText);
    SetItemText(TESTBAY_COMM_TEST_INTERVAL, defaults.intervalText);
    SetItemText(TESTBAY_COMM_TEST_CHANNEL, "0");
    SetItemText(TESTBAY_COMM_TEST_START, test_.StartButtonText());
}

void EnhancedCommTestDialog::AddErrorColumns() const {
    const HWND list = Item(TESTBAY_COMM_TEST_ERROR_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const ListColumn& column : EnhancedCommTest::kErrorColumns) {
        std::wstring title = WideText(column.title);
        LVCOLUMNW entry{};
        entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        entry.pszText = title.data();
        entry.cx = column.width;
        entry.iSubItem = index;
        ListView_InsertColumn(list, index, &entry);
        ++index;
    }
}

void EnhancedCommTestDialog::OnClick(int id) {
    if (id == TESTBAY_COMM_TEST_START) StartOrStop();
    if (id == TESTBAY_COMM_TEST_HELP) TellHelpFailure(Window(), ShowHelp(EnhancedCommTest::kHelpTopic));
}

CommTestInputs EnhancedCommTestDialog::Inputs() const {
    CommTestInputs inputs;
    inputs.sendAndWait = IsChecked(TESTBAY_COMM_TEST_SEND_AND_WAIT);
    inputs.timeoutText = ItemText(TESTBAY_COMM_TEST_TIMEOUT);
    if (IsChecked(TESTBAY_COMM_TEST_TEXT_CHOICE)) {
        inputs.data = CommTestData::kText;
    } else if (IsChecked(TESTBAY_COMM_TEST_HEX_CHOICE)) {
        inputs.data = CommTestData::kHexadecimal;
    } else {
        inputs.data = CommTestData::kFixedLength;
    }
    inputs.lengthText = ItemText(TESTBAY_COMM_TEST_LENGTH);
    inputs.text = ItemText(TESTBAY_COMM_TEST_TEXT);
    inputs.hexText = ItemText(TESTBAY_COMM_TEST_HEX_TEXT);
    inputs.repeat = IsChecked(TESTBAY_COMM_TEST_REPEAT);
    inputs.breakOnError = IsChecked(TESTBAY_COMM_TEST_BREAK_ON_ERROR);
    inputs.intervalText = ItemText(TESTBAY_COMM_TEST_INTERVAL);
    inputs.baudText = ItemText(TESTBAY_COMM_TEST_BAUD);
    return inputs;
}

void EnhancedCommTestDialog::StartOrStop() {
    if (test_.IsRunning()) {
        test_.Stop();
        return;
    }
    // Refused while the previous worker is still ending: one press later works.
    if (!test_.Start(Inputs())) return;
    SetItemText(TESTBAY_COMM_TEST_START, test_.StartButtonText());
    SetItemText(TESTBAY_COMM_TEST_PASSED, {});
    SetItemText(TESTBAY_COMM_TEST_FAILED, {});
}

void EnhancedCommTestDialog::OnNotice(const CommTestNotice& notice) {
    test_.Apply(notice);
    switch (notice.id) {
    case kCommTestPassed: SetItemText(TESTBAY_COMM_TEST_PASSED, std::to_string(test_.Passed())); break;
    case kCommTestFailed:
        SetItemText(TESTBAY_COMM_TEST_FAILED, std::to_string(test_.Failed()));
        InsertErrorLine(test_.ErrorLines().front());
        break;
    case kCommTestFinished: SetItemText(TESTBAY_COMM_TEST_START, test_.StartButtonText()); break;
    default: break;
    }
}

void EnhancedCommTestDialog::InsertErrorLine(const CommTestErrorLine& line) const {
    const HWND list = Item(TESTBAY_COMM_TEST_ERROR_LIST);
    const std::array<const std::string*, 4> columns = {&line.dateTime, &line.number, &line.code, &line.commentary};
    for (int column = 0; column < static_cast<int>(columns.size()); ++column) {
        std::wstring text = WideText(*columns[static_cast<size_t>(column)]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = 0;
        item.iSubItem = column;
        item.pszText = text.data();
        // The newest line goes on top.
        if (column == 0) {
            ListView_InsertItem(list, &item);
        } else {
            ListView_SetItem(list, &item);
        }
    }
}

void EnhancedCommTestDialog::StopAndWait() {
    test_.Stop();
    notices_.WaitUntil([this] { return !test_.IsWorkerActive(); });
    test_.Join();
}

}  // namespace testbay
