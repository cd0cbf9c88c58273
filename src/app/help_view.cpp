#include "app/help_view.h"

#include <QMessageBox>

#include "app/frame_connection.h"

namespace testbay {

void TellHelpFailure(QWidget* parent, const std::string& failure) {
    if (failure.empty()) return;
    QMessageBox::warning(parent, QString::fromUtf8(kProgramName), QString::fromStdString(failure));
}

}  // namespace testbay
