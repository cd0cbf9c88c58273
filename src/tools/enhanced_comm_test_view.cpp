#include "tools/enhanced_comm_test_view.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/help.h"
#include "app/help_view.h"
#include "tools/test_dialogs_view.h"

namespace testbay {
namespace {

QLineEdit* MakeBox(QWidget* parent, const char* name, const QString& text = {}) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    return box;
}

QLineEdit* MakeCounterBox(QWidget* parent, const char* name) {
    QLineEdit* box = MakeBox(parent, name);
    box->setReadOnly(true);
    return box;
}

std::string BoxText(const QLineEdit* box) { return EightBitText(box->text()); }

}  // namespace

EnhancedCommTestView::EnhancedCommTestView(int portIndex, QWidget* parent)
    : QDialog(parent),
      test_(portIndex, [this](const CommTestNotice& notice) { notices_.Send([this, &notice] { OnNotice(notice); }); }) {
    setWindowTitle("Enhanced Communication Tests");
    setWindowModality(Qt::ApplicationModal);

    auto* choices = new QHBoxLayout;
    choices->addWidget(BuildDataChoice());
    choices->addWidget(BuildModeChoice());

    startButton_ = new QPushButton(test_.StartButtonText(), this);
    startButton_->setObjectName("startButton");
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("helpButton");
    auto* close = new QPushButton("&Close", this);
    close->setObjectName("closeButton");
    connect(startButton_, &QPushButton::clicked, this, &EnhancedCommTestView::StartOrStop);
    connect(help, &QPushButton::clicked, this,
            [this] { TellHelpFailure(this, ShowHelp(EnhancedCommTest::kHelpTopic)); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton_);
    buttons->addStretch();
    buttons->addWidget(help);
    buttons->addWidget(close);

    BuildErrorList();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(BuildParameters());
    layout->addWidget(BuildCounters());
    layout->addWidget(errorList_);
    layout->addLayout(buttons);
}

EnhancedCommTestView::~EnhancedCommTestView() { StopAndWait(); }

void EnhancedCommTestView::done(int result) {
    StopAndWait();
    QDialog::done(result);
}

QWidget* EnhancedCommTestView::BuildDataChoice() {
    auto* group = new QGroupBox("Test data", this);
    fixedLength_ = new QRadioButton("Dataset with fixed length", group);
    fixedLength_->setObjectName("fixedLength");
    fixedLength_->setChecked(true);
    lengthBox_ = MakeBox(group, "lengthBox", "128");
    textChoice_ = new QRadioButton("Text", group);
    textChoice_->setObjectName("textChoice");
    textBox_ = MakeBox(group, "textBox");
    hexChoice_ = new QRadioButton("Hexadecimal (e.g. 10 47 00 47 16) ", group);
    hexChoice_->setObjectName("hexChoice");
    hexBox_ = MakeBox(group, "hexBox");
    auto* grid = new QGridLayout(group);
    grid->addWidget(fixedLength_, 0, 0);
    grid->addWidget(lengthBox_, 0, 1);
    grid->addWidget(textChoice_, 1, 0);
    grid->addWidget(textBox_, 1, 1);
    grid->addWidget(hexChoice_, 2, 0);
    grid->addWidget(hexBox_, 2, 1);
    return group;
}

QWidget* EnhancedCommTestView::BuildModeChoice() {
    auto* group = new QGroupBox("Mode", this);
    sendAndWait_ = new QRadioButton("&Send and wait for reception", group);
    sendAndWait_->setObjectName("sendAndWait");
    sendAndWait_->setChecked(true);
    sendOnly_ = new QRadioButton("Send &only", group);
    sendOnly_->setObjectName("sendOnly");
    repeat_ = new QCheckBox("&Repeat test continuously", group);
    repeat_->setObjectName("repeat");
    breakOnError_ = new QCheckBox("&Break on error", group);
    breakOnError_->setObjectName("breakOnError");
    auto* column = new QVBoxLayout(group);
    column->addWidget(sendAndWait_);
    column->addWidget(sendOnly_);
    column->addWidget(repeat_);
    column->addWidget(breakOnError_);
    return group;
}

QWidget* EnhancedCommTestView::BuildParameters() {
    auto* group = new QGroupBox("Parameters", this);
    timeoutBox_ = MakeBox(group, "timeoutBox", "3000");
    intervalBox_ = MakeBox(group, "intervalBox", "1000");
    baudLabel_ = new QLabel("Baudrate", group);
    baudBox_ = MakeBox(group, "baudBox");
    channelLabel_ = new QLabel("Channel", group);
    channelBox_ = MakeBox(group, "channelBox", "0");
    channelLabel_->setEnabled(false);
    channelBox_->setEnabled(false);
    auto* form = new QFormLayout(group);
    form->addRow("Time-out [ms]", timeoutBox_);
    form->addRow("Test interval [ms]", intervalBox_);
    form->addRow(baudLabel_, baudBox_);
    form->addRow(channelLabel_, channelBox_);
    return group;
}

QWidget* EnhancedCommTestView::BuildCounters() {
    auto* row = new QWidget(this);
    passBox_ = MakeCounterBox(row, "passBox");
    failBox_ = MakeCounterBox(row, "failBox");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("PASS:", row));
    layout->addWidget(passBox_);
    layout->addWidget(new QLabel("FAIL:", row));
    layout->addWidget(failBox_);
    return row;
}

void EnhancedCommTestView::BuildErrorList() {
    errorList_ = new QTreeWidget(this);
    errorList_->setObjectName("errorList");
    errorList_->setRootIsDecorated(false);
    const auto& columns = EnhancedCommTest::kErrorColumns;
    errorList_->setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const ListColumn& column : columns) titles << column.title;
    errorList_->setHeaderLabels(titles);
    for (int index = 0; index < static_cast<int>(columns.size()); ++index) {
        errorList_->setColumnWidth(index, columns[static_cast<size_t>(index)].width);
    }
}

CommTestInputs EnhancedCommTestView::Inputs() const {
    CommTestInputs inputs;
    inputs.sendAndWait = sendAndWait_->isChecked();
    inputs.timeoutText = BoxText(timeoutBox_);
    if (textChoice_->isChecked()) {
        inputs.data = CommTestData::kText;
    } else if (hexChoice_->isChecked()) {
        inputs.data = CommTestData::kHexadecimal;
    } else {
        inputs.data = CommTestData::kFixedLength;
    }
    inputs.lengthText = BoxText(lengthBox_);
    inputs.text = BoxText(textBox_);
    inputs.hexText = BoxText(hexBox_);
    inputs.repeat = repeat_->isChecked();
    inputs.breakOnError = breakOnError_->isChecked();
    inputs.intervalText = BoxText(intervalBox_);
    inputs.baudText = BoxText(baudBox_);
    return inputs;
}

void EnhancedCommTestView::StartOrStop() {
    if (test_.IsRunning()) {
        test_.Stop();
        return;
    }
    // Refused while the previous worker is still ending: one press later works.
    if (!test_.Start(Inputs())) return;
    startButton_->setText(test_.StartButtonText());
    passBox_->clear();
    failBox_->clear();
}

void EnhancedCommTestView::OnNotice(const CommTestNotice& notice) {
    test_.Apply(notice);
    switch (notice.id) {
    case kCommTestPassed: passBox_->setText(QString::number(test_.Passed())); break;
    case kCommTestFailed: {
        failBox_->setText(QString::number(test_.Failed()));
        const CommTestErrorLine& line = test_.ErrorLines().front();
        const QStringList columns = {QString::fromStdString(line.dateTime), QString::fromStdString(line.number),
                                     QString::fromStdString(line.code), Latin1Text(line.commentary)};
        auto* item = new QTreeWidgetItem(columns);
        errorList_->insertTopLevelItem(0, item);
        break;
    }
    case kCommTestFinished: startButton_->setText(test_.StartButtonText()); break;
    default: break;
    }
}

void EnhancedCommTestView::StopAndWait() {
    test_.Stop();
    notices_.WaitUntil([this] { return !test_.IsWorkerActive(); });
    test_.Join();
}

}  // namespace testbay
