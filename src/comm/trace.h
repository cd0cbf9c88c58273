#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testbay {

// The communications trace: operation names, statuses and hex dumps of every
// frame, gated by "Logfile" in section "FirmwareUpdate" of Testbay.ini.
// LogPrintf writes time-stamped lines whenever the log is open.
void LogOpen(const char* name);
void LogClose();
void TraceLine(const char* text);
void TraceHex(const uint8_t* bytes, size_t count, char direction);
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One dump line of up to 16 bytes: 65 characters, no line end.
std::string HexDumpLine(const uint8_t* bytes, size_t count, char direction);
// The path the log was opened with ("" before LogOpen).
std::string LogPath();

}  // namespace testbay
