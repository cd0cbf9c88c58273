#include "tools/test_dialogs_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include "tools/enhanced_comm_test_view.h"
#include "tools/ws_test_view.h"

namespace testbay {

void OpenEnhancedCommunicationTests(QWidget* parent, int portIndex) {
    EnhancedCommTestView dialog(portIndex, parent);
    dialog.exec();
}

void OpenWsTest(QWidget* parent, int channel) {
    WsTestView dialog(channel, parent);
    dialog.exec();
}

WorkerNotices::WorkerNotices() : handOver_([this] { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }) {}

void WorkerNotices::WaitUntil(const std::function<bool()>& ended) {
    handOver_.WaitUntil(ended, HandleWindowEventsWhileWaiting);
}

void WorkerNotices::customEvent(QEvent*) { handOver_.Deliver(); }

void HandleWindowEventsWhileWaiting() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(1);
}

std::string EightBitText(const QString& text) { return text.toLatin1().toStdString(); }

QString Latin1Text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace testbay
