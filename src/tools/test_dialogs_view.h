#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

class QWidget;

namespace testbay {

// The communication-test dialogs, modal for the whole application: while a
// test worker talks to the relay no other window can start an exchange.
void OpenEnhancedCommunicationTests(QWidget* parent, int portIndex);
void OpenWsTest(QWidget* parent, int channel);

// Hands a test worker's notices to the window thread one at a time and keeps
// the worker waiting until each has been handled there. The hand-over goes
// through a std::mutex rather than a blocking queued call, so that its order
// is visible to ThreadSanitizer (Qt's own locks are not instrumented).
class WorkerNotices final : public QObject {
public:
    // On the worker: runs `handle` on this object's thread, returns after it ran.
    void Send(const std::function<void()>& handle);

protected:
    void customEvent(QEvent* event) override;

private:
    std::mutex mutex_;
    std::condition_variable handled_;
    const std::function<void()>* pending_ = nullptr;
};

// Keeps handling the notices a worker sends synchronously to this thread
// (user input excepted) until `ended` is true. Waiting without that would
// leave the worker blocked in its notice for ever.
void DeliverNoticesUntil(const std::function<bool()>& ended);

// The relay tools work with 8-bit texts.
std::string EightBitText(const QString& text);
QString Latin1Text(const std::string& text);

}  // namespace testbay
