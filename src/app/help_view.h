#pragma once

#include <string>

class QWidget;

namespace testbay {

// A Help button's outcome: nothing when the viewer started, else a box over
// `parent` that says why the help cannot be shown.
void TellHelpFailure(QWidget* parent, const std::string& failure);

}  // namespace testbay
