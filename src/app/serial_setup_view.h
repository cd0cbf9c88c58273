#pragma once

#include <QDialog>

#include "app/serial_setup.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace testbay {

// "Setup Serial Connection": a thin view over SerialSetup.
class CSerialSetupDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Setup Serial Connection";

    explicit CSerialSetupDlg(QWidget* parent = nullptr);

    QComboBox* Ports() const { return ports_; }
    QLabel* Status() const { return status_; }
    QPushButton* HelpButton() const { return help_; }

public slots:
    // Stores the choice, then closes.
    void accept() override;

private:
    void ShowSelection();

    SerialSetup setup_;
    QComboBox* ports_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* help_ = nullptr;
};

}  // namespace testbay
