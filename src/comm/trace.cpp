#include "comm/trace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "comm/port_mapping.h"
#include "settings/directories.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "settings/version.h"
#include "platform/clock.h"
#include "platform/folders.h"

namespace testbay {
namespace {

constexpr size_t kDumpBytesPerLine = 16;
constexpr size_t kDumpLineLength = 65;
constexpr size_t kDumpTextColumn = 49;

// The trace of this program start in a file that outlives it, written in
// full up to a budget.
struct LastingTrace {
    FILE* stream = nullptr;
    uint64_t budget = 0;
    bool headerWritten = false;
    bool cut = false;
};

struct LogFile {
    std::mutex mutex;
    std::string path;
    bool enabled = false;
    FILE* stream = nullptr;
    LastingTrace lasting;
};

LogFile& Log() {
    static LogFile log;
    return log;
}

void PutLine(FILE* stream, const std::string& line) {
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

std::string LocalTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    return std::strftime(text, sizeof(text), format, &local) ? text : "";
}

// `port` is "" before the program opens one.
std::string HeaderLine(const std::string& port) {
    return "==== " + LocalTime("%Y-%m-%d %H:%M:%S") + " testbay " + kTestbayVersion + " " +
           (port.empty() ? "no port opened yet" : port) + " ====";
}

std::string PortText(int comNumber) {
    return "port COM" + std::to_string(comNumber) + " (" + ComPortPath(comNumber) + ")";
}

// Caller holds the log's mutex.
void WriteLasting(LastingTrace& lasting, const std::string& line) {
    if (!lasting.stream || lasting.cut) return;
    if (line.size() + 1 > lasting.budget) {
        PutLine(lasting.stream, "==== the trace of this program start stops here: its limit is reached ====");
        lasting.cut = true;
        return;
    }
    PutLine(lasting.stream, line);
    lasting.budget -= line.size() + 1;
}

// Caller holds the log's mutex.
void StartLasting(LastingTrace& lasting, const std::string& port) {
    if (lasting.headerWritten) return;
    lasting.headerWritten = true;
    WriteLasting(lasting, HeaderLine(port));
}

// Every line goes to the lasting trace; `toLog` says whether also to LOG.TXT.
// Caller holds the log's mutex.
void WriteLine(LogFile& log, const std::string& line, bool toLog) {
    if (toLog && log.stream) PutLine(log.stream, line);
    if (log.lasting.stream) {
        StartLasting(log.lasting, "");
        WriteLasting(log.lasting, line);
    }
}

std::string TimeStampLine() { return "t=" + std::to_string(ProcessClock().NowMs()); }

std::string FormatV(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

}  // namespace

std::string HexDumpLine(const uint8_t* bytes, size_t count, char direction) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line(kDumpLineLength, ' ');
    line[0] = direction;
    for (size_t i = 0; i < count && i < kDumpBytesPerLine; ++i) {
        const uint8_t byte = bytes[i];
        line[3 * i + 1] = kDigits[byte >> 4];
        line[3 * i + 2] = kDigits[byte & 0x0F];
        line[kDumpTextColumn + i] = (byte >= 0x20 && byte != '%') ? static_cast<char>(byte) : ' ';
    }
    return line;
}

void LogOpen(const char* name) {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    log.enabled = false;
    if (!name || !*name) return;
    std::string path = name;
    if (!HasDirectory(path)) path = TempDirectory() + path;
    log.enabled = ReadIniInt(settings::kLogfile.section, settings::kLogfile.key, settings::kLogfile.defaultValue,
                             settings::kProgramFile) != 0;
    if (log.stream) std::fclose(log.stream);
    log.path = path;
    log.stream = CreateFreshTextFile(path);
}

void LogClose() {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (log.stream) std::fclose(log.stream);
    log.stream = nullptr;
    log.enabled = false;
    if (log.lasting.stream) std::fclose(log.lasting.stream);
    log.lasting = {};
}

bool LogAlsoTo(const std::string& path, std::string& error, uint64_t limitBytes) {
    FILE* stream = OpenAppendedTextFile(path, error);
    if (!stream) return false;
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (log.lasting.stream) std::fclose(log.lasting.stream);
    log.lasting = {stream, limitBytes};
    return true;
}

void LogPortOpening(int comNumber) {
    LogFile& log = Log();
    {
        std::lock_guard lock(log.mutex);
        if (!log.lasting.stream) return;
    }
    // Read outside the lock: the port mapping comes from the settings.
    const std::string port = PortText(comNumber);
    std::lock_guard lock(log.mutex);
    if (log.lasting.headerWritten) {
        WriteLasting(log.lasting, port);
    } else if (log.lasting.stream) {
        StartLasting(log.lasting, port);
    }
}

std::string LogPath() {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    return log.path;
}

void TraceLine(const char* text) {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (!log.enabled && !log.lasting.stream) return;
    WriteLine(log, TimeStampLine(), log.enabled);
    WriteLine(log, text ? text : "", log.enabled);
}

void TraceHex(const uint8_t* bytes, size_t count, char direction) {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (!log.enabled && !log.lasting.stream) return;
    WriteLine(log, TimeStampLine(), log.enabled);
    for (size_t offset = 0; offset < count; offset += kDumpBytesPerLine) {
        const size_t lineCount = count - offset < kDumpBytesPerLine ? count - offset : kDumpBytesPerLine;
        WriteLine(log, HexDumpLine(bytes + offset, lineCount, direction), log.enabled);
    }
}

void LogPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);

    const std::string stamp = LocalTime("%H:%M:%S ");
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    WriteLine(log, stamp + text, true);
}

}  // namespace testbay
