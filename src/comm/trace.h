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

// What one program start may add to a lasting trace: a relay that never
// stops talking must not fill the disk.
constexpr uint64_t kLastingTraceLimit = 256ull << 20;
// Writes the whole trace, whatever "Logfile" says, also to `path`, a file
// that outlives the program: appended to, never through a link, at most
// `limitBytes` per program start. Its part begins with a header line (date,
// time, version and the first port opened). False, with the reason in
// `error`, when the file cannot be opened. LogClose closes it too.
bool LogAlsoTo(const std::string& path, std::string& error, uint64_t limitBytes = kLastingTraceLimit);
// Tells the lasting trace which port the program opens; the first one goes
// into its header.
void LogPortOpening(int comNumber);

// One dump line of up to 16 bytes: 65 characters, no line end.
std::string HexDumpLine(const uint8_t* bytes, size_t count, char direction);
// The path the log was opened with ("" before LogOpen).
std::string LogPath();

}  // namespace testbay
