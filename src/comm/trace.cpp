#include "comm/trace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "settings/directories.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "platform/clock.h"
#include "platform/folders.h"

namespace testbay {
namespace {

constexpr size_t kDumpBytesPerLine = 16;
constexpr size_t kDumpLineLength = 65;
constexpr size_t kDumpTextColumn = 49;

struct LogFile {
    std::mutex mutex;
    std::string path;
    bool enabled = false;
    FILE* stream = nullptr;
};

LogFile& Log() {
    static LogFile log;
    return log;
}

// Caller holds the log's mutex.
void WriteLine(LogFile& log, const std::string& line) {
    if (!log.stream) return;
    std::fputs(line.c_str(), log.stream);
    std::fputc('\n', log.stream);
    std::fflush(log.stream);
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
}

std::string LogPath() {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    return log.path;
}

void TraceLine(const char* text) {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (!log.enabled) return;
    WriteLine(log, TimeStampLine());
    WriteLine(log, text ? text : "");
}

void TraceHex(const uint8_t* bytes, size_t count, char direction) {
    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    if (!log.enabled) return;
    WriteLine(log, TimeStampLine());
    for (size_t offset = 0; offset < count; offset += kDumpBytesPerLine) {
        const size_t lineCount = count - offset < kDumpBytesPerLine ? count - offset : kDumpBytesPerLine;
        WriteLine(log, HexDumpLine(bytes + offset, lineCount, direction));
    }
}

void LogPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::snprintf(stamp, sizeof(stamp), "%02i:%02i:%02i ", local.tm_hour, local.tm_min, local.tm_sec);

    LogFile& log = Log();
    std::lock_guard lock(log.mutex);
    WriteLine(log, stamp + text);
}

}  // namespace testbay
