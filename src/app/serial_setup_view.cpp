#include "app/serial_setup_view.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/help_view.h"

namespace testbay {
namespace {

// The dialog's 199 × 95 dialog units at the usual 8-point font.
constexpr QSize kMinimumSize{340, 160};

}  // namespace

CSerialSetupDlg::CSerialSetupDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setMinimumSize(kMinimumSize);

    ports_ = new QComboBox;
    status_ = new QLabel;
    status_->setWordWrap(true);
    auto* group = new QGroupBox(QStringLiteral("Select Serial Port"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(ports_);
    groupLayout->addWidget(status_);
    groupLayout->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    help_ = buttons->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSerialSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSerialSetupDlg::reject);
    connect(help_, &QPushButton::clicked, this, [this] { TellHelpFailure(this, setup_.Help()); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);

    setup_.Open();
    for (const SerialPortChoice& choice : setup_.Choices()) ports_->addItem(QString::fromStdString(choice.text));
    ShowSelection();
    connect(ports_, &QComboBox::activated, this, [this](int index) {
        setup_.Select(index);
        ShowSelection();
    });
}

void CSerialSetupDlg::ShowSelection() {
    ports_->setCurrentIndex(setup_.Selection());
    status_->setText(QString::fromStdString(setup_.StatusText()));
}

void CSerialSetupDlg::accept() {
    setup_.Ok();
    QDialog::accept();
}

}  // namespace testbay
