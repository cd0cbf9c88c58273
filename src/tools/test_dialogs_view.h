#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "tools/notice_hand_over.h"

class QWidget;

namespace testbay {

// The communication-test dialogs, modal for the whole application, so that
// the user cannot start another exchange while a test worker talks to the
// relay (the client guard refuses one all the same).
void OpenEnhancedCommunicationTests(QWidget* parent, int portIndex);
void OpenWsTest(QWidget* parent, int channel);

// The window thread's side of a NoticeHandOver: a posted event delivers each
// notice. The hand-over's lock is a std::mutex rather than a blocking queued
// call, so that its order is visible to ThreadSanitizer (Qt's own locks are
// not instrumented).
class WorkerNotices final : public QObject {
public:
    WorkerNotices();

    // On the worker: runs `handle` on this object's thread, returns after it ran.
    void Send(const std::function<void()>& handle) { handOver_.Send(handle); }
    // Keeps handling the notices (user input excepted) until `ended` is true.
    void WaitUntil(const std::function<bool()>& ended);

protected:
    void customEvent(QEvent* event) override;

private:
    NoticeHandOver handOver_;
};

// Handles the window thread's pending events except user input, then pauses
// briefly: what a window does while it waits for a worker.
void HandleWindowEventsWhileWaiting();

// The relay tools work with 8-bit texts.
std::string EightBitText(const QString& text);
QString Latin1Text(const std::string& text);

}  // namespace testbay
