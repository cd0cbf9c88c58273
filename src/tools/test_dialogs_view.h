#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace testbay {

// The communication-test dialogs, modal for the whole application: while a
// test worker talks to the relay no other window can start an exchange.
void OpenEnhancedCommunicationTests(QWidget* parent, int portIndex);
void OpenWsTest(QWidget* parent, int channel);

// Keeps handling the notices a worker sends synchronously to this thread
// (user input excepted) until `ended` is true. Waiting without that would
// leave the worker blocked in its notice for ever.
void DeliverNoticesUntil(const std::function<bool()>& ended);

// The relay tools work with 8-bit texts.
std::string EightBitText(const QString& text);
QString Latin1Text(const std::string& text);

}  // namespace testbay
