#pragma once

#include "platform/line_settings.h"

// Kernel termios2 access lives apart: <asm/termbits.h> clashes with <termios.h>.
namespace testbay {

// Sets any baud rate with BOTHER, parity (mark and space through CMSPAR) and
// one or two stop bits, 8 data bits. Reads back and returns true only when
// the device took exactly these settings.
bool ApplyLineSettings(int fd, const LineSettings& settings);
// Reads the current settings of a terminal; on a pseudo-terminal master these
// are the settings the other side applied. False when fd is not a terminal.
bool ReadLineSettings(int fd, LineSettings& settings);
// True for either end of a pseudo-terminal.
bool IsPseudoTerminal(int fd);

}  // namespace testbay
