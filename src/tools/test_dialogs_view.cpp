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

void WorkerNotices::Send(const std::function<void()>& handle) {
    std::unique_lock lock(mutex_);
    pending_ = &handle;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    handled_.wait(lock, [this] { return pending_ == nullptr; });
}

void WorkerNotices::customEvent(QEvent*) {
    std::unique_lock lock(mutex_);
    if (!pending_) return;
    const std::function<void()>& handle = *pending_;
    // The worker waits; the handler may show windows without holding the lock.
    lock.unlock();
    handle();
    lock.lock();
    pending_ = nullptr;
    handled_.notify_one();
}

void DeliverNoticesUntil(const std::function<bool()>& ended) {
    while (!ended()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(1);
    }
}

std::string EightBitText(const QString& text) { return text.toLatin1().toStdString(); }

QString Latin1Text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace testbay
