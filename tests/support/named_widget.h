#pragma once

#include <QWidget>

namespace testbay::test {

// The child widget of that object name; a missing one ends the program, as a
// renamed control would otherwise fail far from its cause.
template <typename Widget>
Widget* NamedChild(const QWidget& parent, const char* name) {
    auto* widget = parent.findChild<Widget*>(name);
    if (!widget) qFatal("no widget %s", name);
    return widget;
}

}  // namespace testbay::test
