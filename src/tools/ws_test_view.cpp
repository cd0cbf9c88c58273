#include "tools/ws_test_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "tools/test_dialogs_view.h"

namespace testbay {
namespace {

QLineEdit* MakeCounterBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

}  // namespace

WsTestView::WsTestView(int channel, QWidget* parent)
    : QDialog(parent),
      test_(channel, [this](uint32_t notice) { notices_.Send([this, notice] { OnNotice(notice); }); }) {
    setWindowTitle(QString::fromStdString(test_.Caption()));
    setWindowModality(Qt::ApplicationModal);

    startButton_ = new QPushButton(test_.StartButtonText(), this);
    startButton_->setObjectName("startButton");
    connect(startButton_, &QPushButton::clicked, this, &WsTestView::StartOrStop);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("progress");
    progress_->setRange(0, WsTest::kProgressMaximum);
    progress_->setValue(0);
    failureList_ = new QListWidget(this);
    failureList_->setObjectName("failureList");

    auto* beep = new QCheckBox("&Beep on error condition", this);
    beep->setObjectName("beepOnError");
    connect(beep, &QCheckBox::toggled, this, [this](bool on) { test_.SetBeepOnError(on); });

    auto* save = new QPushButton("&Save to file...", this);
    save->setObjectName("saveButton");
    connect(save, &QPushButton::clicked, this, &WsTestView::SaveToFile);
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("helpButton");
    help->setEnabled(false);
    auto* close = new QPushButton("&Close", this);
    close->setObjectName("closeButton");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addStretch();
    buttons->addWidget(help);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildSettings());
    layout->addWidget(startButton_);
    layout->addWidget(BuildCounters());
    layout->addWidget(progress_);
    layout->addWidget(failureList_);
    layout->addWidget(beep);
    layout->addLayout(buttons);
}

WsTestView::~WsTestView() { StopAndWait(); }

void WsTestView::done(int result) {
    StopAndWait();
    QDialog::done(result);
}

QWidget* WsTestView::BuildSettings() {
    auto* group = new QWidget(this);
    baudBox_ = new QComboBox(group);
    baudBox_->setObjectName("baudBox");
    for (const char* rate : WsTest::kBaudRates) baudBox_->addItem(rate);
    timeBox_ = new QLineEdit(group);
    timeBox_->setObjectName("timeBox");
    clockRecovering_ = new QCheckBox("&Clock recovering", group);
    clockRecovering_->setObjectName("clockRecovering");

    test_.ReadSettings();
    baudBox_->setCurrentIndex(test_.BaudEntry());
    timeBox_->setText(Latin1Text(test_.TimeText()));
    clockRecovering_->setChecked(test_.ClockRecovery());

    auto* form = new QFormLayout(group);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow("Baudrate", baudBox_);
    form->addRow("Time to test [s]", timeBox_);
    form->addRow(clockRecovering_);
    return group;
}

QWidget* WsTestView::BuildCounters() {
    auto* group = new QWidget(this);
    totalBox_ = MakeCounterBox(group, "totalBox");
    passedBox_ = MakeCounterBox(group, "passedBox");
    failedBox_ = MakeCounterBox(group, "failedBox");
    auto* form = new QFormLayout(group);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow("Tests total :", totalBox_);
    form->addRow("Tests passed :", passedBox_);
    form->addRow("Tests failed :", failedBox_);
    return group;
}

void WsTestView::StartOrStop() {
    if (test_.IsRunning()) {
        test_.Stop();
        return;
    }
    // Refused while the previous worker is still ending: one press later works.
    if (!test_.Start(EightBitText(timeBox_->text()), baudBox_->currentIndex(), clockRecovering_->isChecked())) return;
    timeBox_->setText(Latin1Text(test_.TimeText()));
    progress_->setRange(0, WsTest::kProgressMaximum);
    failureList_->clear();
    ShowCounters();
    startButton_->setText(test_.StartButtonText());
}

void WsTestView::OnNotice(uint32_t notice) {
    const bool beep = test_.Apply(notice);
    if (notice == kWsTestDone) {
        for (const std::string& line : test_.FailureLinesAfter(static_cast<size_t>(failureList_->count()))) {
            failureList_->addItem(Latin1Text(line));
        }
        ShowCounters();
        progress_->setValue(test_.Progress());
        // Qt has one sound for both kinds of beep.
        if (beep) {
            for ([[maybe_unused]] WsTest::Beep kind : WsTest::kErrorBeeps) QApplication::beep();
        }
    } else if (notice == kWsTestFinished) {
        startButton_->setText(test_.StartButtonText());
        progress_->setValue(test_.Progress());
    }
}

void WsTestView::ShowCounters() {
    totalBox_->setText(QString::number(test_.Total()));
    passedBox_->setText(QString::number(test_.Passed()));
    failedBox_->setText(QString::number(test_.Failed()));
}

void WsTestView::SaveToFile() {
    const QString path =
        QFileDialog::getSaveFileName(this, "Save to file", QString(), "Text files (*.txt);;All files (*)");
    // A file that cannot be written is skipped without a message.
    if (!path.isEmpty()) test_.SaveFailureList(path.toLocal8Bit().toStdString());
}

void WsTestView::StopAndWait() {
    test_.Stop();
    notices_.WaitUntil([this] { return !test_.IsWorkerActive(); });
    test_.Join();
}

}  // namespace testbay
