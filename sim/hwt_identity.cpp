#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>

#include "platform/clock.h"
#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {

using std::chrono::sys_seconds;

constexpr size_t kMaxIdentityText = 40;
constexpr int32_t kCentury = 2000;
constexpr int32_t kTimeCodeFormats = 4;
constexpr int32_t kTimeCodeNoSignal = 1;
constexpr int32_t kWatchdogPattern = 0xA5A5;

// --- identity ---

std::vector<uint8_t> IdentityAnswer(const IdentityState& identity, const HwtRequestFrame& request) {
    if (request.scalars.empty()) {
        return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                               {AnswerText(identity.cpuType), AnswerText(identity.hardwareVersion)});
    }
    const int32_t index = request.scalars[0];
    if (index < 0 || static_cast<size_t>(index) >= identity.versions.size()) return FailAnswer(kIdentityCommand);
    return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                           {AnswerText(identity.cpuType), AnswerText(identity.versions[static_cast<size_t>(index)])});
}

std::vector<uint8_t> WriteIdentityText(uint8_t command, bool known, std::string& text, const HwtRequestFrame& request) {
    if (!known) return StatusAnswer(command, kHwtCommandUnknown);
    if (request.blocks.size() != 1 || request.blocks[0].empty() || request.blocks[0].size() > kMaxIdentityText) {
        return FailAnswer(command);
    }
    text.assign(request.blocks[0].begin(), request.blocks[0].end());
    return PassAnswer(command);
}

std::vector<uint8_t> CpuIdAnswer(IdentityState& identity, const HwtRequestFrame& request) {
    if (request.scalars.empty() && request.blocks.empty()) {
        const auto& bytes = identity.cpuIdBytes;
        return EncodeHwtAnswer(kCpuIdCommand, kHwtPass,
                               {AnswerScalar(bytes[0]), AnswerScalar(bytes[1]), AnswerScalar(bytes[2]),
                                AnswerText(identity.cpuIdText), AnswerScalar(identity.cpuIdValue)});
    }
    const bool isByte = std::all_of(request.scalars.begin(), request.scalars.end(),
                                    [](int32_t value) { return value >= 0 && value <= 0xFF; });
    if (request.scalars.size() != 3 || !isByte || request.blocks.size() != 1 ||
        request.blocks[0].size() > kMaxIdentityText) {
        return FailAnswer(kCpuIdCommand);
    }
    std::copy_n(request.scalars.begin(), 3, identity.cpuIdBytes.begin());
    identity.cpuIdText.assign(request.blocks[0].begin(), request.blocks[0].end());
    return PassAnswer(kCpuIdCommand);
}

// --- clock and time code ---

sys_seconds RelayNow(const IdentityState& identity) {
    const int64_t elapsedMs = ProcessClock().NowMs() - identity.clockSetAtMs;
    return sys_seconds{std::chrono::seconds{identity.clockSeconds + elapsedMs / 1000}};
}

void SetRelayNow(IdentityState& identity, sys_seconds now) {
    identity.clockSeconds = now.time_since_epoch().count();
    identity.clockSetAtMs = ProcessClock().NowMs();
}

std::chrono::sys_days Today(sys_seconds now) { return std::chrono::floor<std::chrono::days>(now); }

// Day, month and two-digit year.
std::vector<HwtAnswerField> DateFields(sys_seconds now) {
    const std::chrono::year_month_day date{Today(now)};
    return {AnswerScalar(static_cast<int32_t>(static_cast<unsigned>(date.day()))),
            AnswerScalar(static_cast<int32_t>(static_cast<unsigned>(date.month()))),
            AnswerScalar(static_cast<int32_t>(date.year()) % 100)};
}

std::vector<HwtAnswerField> TimeFields(sys_seconds now) {
    const std::chrono::hh_mm_ss time{now - Today(now)};
    return {AnswerScalar(static_cast<int32_t>(time.hours().count())),
            AnswerScalar(static_cast<int32_t>(time.minutes().count())),
            AnswerScalar(static_cast<int32_t>(time.seconds().count()))};
}

std::vector<uint8_t> SetTime(IdentityState& identity, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.size() != 3 || fields[0] < 0 || fields[0] > 23 || fields[1] < 0 || fields[1] > 59 || fields[2] < 0 ||
        fields[2] > 59) {
        return FailAnswer(kSetTimeCommand);
    }
    const sys_seconds now = RelayNow(identity);
    SetRelayNow(identity, Today(now) + std::chrono::hours{fields[0]} + std::chrono::minutes{fields[1]} +
                              std::chrono::seconds{fields[2]});
    return PassAnswer(kSetTimeCommand);
}

std::vector<uint8_t> SetDate(IdentityState& identity, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.size() != 3 || fields[0] < 1 || fields[0] > 31 || fields[1] < 1 || fields[1] > 12 || fields[2] < 0 ||
        fields[2] > 99) {
        return FailAnswer(kSetDateCommand);
    }
    const std::chrono::year_month_day date{std::chrono::year{kCentury + fields[2]},
                                           std::chrono::month{static_cast<unsigned>(fields[1])},
                                           std::chrono::day{static_cast<unsigned>(fields[0])}};
    if (!date.ok()) return FailAnswer(kSetDateCommand);
    const sys_seconds now = RelayNow(identity);
    SetRelayNow(identity, std::chrono::sys_days{date} + (now - Today(now)));
    return PassAnswer(kSetDateCommand);
}

int32_t TimeCodeStatus(const IdentityState& identity) { return identity.timeCodeSignal ? 0 : kTimeCodeNoSignal; }

std::vector<uint8_t> TimeCodeTime(const IdentityState& identity) {
    const sys_seconds now = RelayNow(identity);
    if (identity.timeCodeAsSeconds) {
        const auto seconds = static_cast<int32_t>(now.time_since_epoch().count());
        return EncodeHwtAnswer(kTimeCodeTimeCommand, kHwtPass,
                               {AnswerScalar(seconds), AnswerScalar(TimeCodeStatus(identity))});
    }
    std::vector<HwtAnswerField> fields = TimeFields(now);
    fields.push_back(AnswerScalar(TimeCodeStatus(identity)));
    return EncodeHwtAnswer(kTimeCodeTimeCommand, kHwtPass, fields);
}

std::vector<uint8_t> TimeCodeDate(const IdentityState& identity) {
    std::vector<HwtAnswerField> fields = DateFields(RelayNow(identity));
    fields.push_back(AnswerScalar(TimeCodeStatus(identity)));
    return EncodeHwtAnswer(kTimeCodeDateCommand, kHwtPass, fields);
}

std::vector<uint8_t> SetTimeCodeFormat(const HwtRequestFrame& request) {
    if (request.scalars.size() != 1 || request.scalars[0] < 0 || request.scalars[0] >= kTimeCodeFormats) {
        return FailAnswer(kTimeCodeFormatCommand);
    }
    return PassAnswer(kTimeCodeFormatCommand);
}

// --- watchdog ---

// Three zeros read the pattern register; a limit and an argument arm the
// test; a single zero reads the time the watchdog took to run out.
std::vector<uint8_t> WatchdogAnswer(IdentityState& identity, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.size() == 3 && std::all_of(fields.begin(), fields.end(), [](int32_t value) { return value == 0; })) {
        return EncodeHwtAnswer(kWatchdogCommand, kHwtPass, {AnswerScalar(kWatchdogPattern)});
    }
    if (fields.size() == 2 && fields[0] > 0) {
        identity.watchdogArmed = true;
        return PassAnswer(kWatchdogCommand);
    }
    if (fields.size() == 1 && fields[0] == 0 && identity.watchdogArmed) {
        identity.watchdogArmed = false;
        return EncodeHwtAnswer(kWatchdogCommand, kHwtPass, {AnswerScalar(identity.watchdogTimeMs)});
    }
    return FailAnswer(kWatchdogCommand);
}

// --- error records ---

std::string Hex(uint32_t value, size_t digits) {
    char text[8] = {};
    const char* end = std::to_chars(std::begin(text), std::end(text), value, 16).ptr;
    std::string hex(static_cast<const char*>(text), end);
    for (char& character : hex) character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    return std::string(digits > hex.size() ? digits - hex.size() : 0, '0') + hex;
}

const std::vector<ErrorRecord>* FindErrorList(const IdentityState& identity, int32_t list) {
    if (list < 0 || static_cast<size_t>(list) >= identity.errorLists.size()) return nullptr;
    return &identity.errorLists[static_cast<size_t>(list)];
}

const ErrorRecord* FindErrorRecord(const IdentityState& identity, int32_t list, int32_t index) {
    const std::vector<ErrorRecord>* records = FindErrorList(identity, list);
    if (records == nullptr || index < 0 || static_cast<size_t>(index) >= records->size()) return nullptr;
    return &(*records)[static_cast<size_t>(index)];
}

std::vector<uint8_t> ErrorCount(const IdentityState& identity, int32_t list) {
    const std::vector<ErrorRecord>* records = FindErrorList(identity, list);
    if (records == nullptr) return FailAnswer(kErrorCommand);
    return EncodeHwtAnswer(kErrorCommand, kHwtPass, {AnswerScalar(static_cast<int32_t>(records->size()))});
}

std::vector<uint8_t> ErrorRecordFields(const IdentityState& identity, int32_t index) {
    const ErrorRecord* record = FindErrorRecord(identity, 0, index);
    if (record == nullptr) return FailAnswer(kErrorCommand);
    return EncodeHwtAnswer(kErrorCommand, kHwtPass,
                           {AnswerText(record->time), AnswerText(record->text), AnswerScalar(record->code),
                            AnswerScalar(record->address), AnswerText(record->task)});
}

std::vector<uint8_t> ErrorRecordText(const IdentityState& identity, int32_t list, int32_t index) {
    const ErrorRecord* record = FindErrorRecord(identity, list, index);
    if (record == nullptr) return FailAnswer(kErrorCommand);
    const std::string text = record->time + " " + record->text + " E" + Hex(static_cast<uint32_t>(record->code), 4) +
                             " @" + Hex(static_cast<uint32_t>(record->address), 8) + " " + record->task;
    return EncodeHwtAnswer(kErrorCommand, kHwtPass, {AnswerText(text)});
}

std::vector<uint8_t> ErrorAnswer(const IdentityState& identity, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    switch (fields.size()) {
    case 0: return ErrorCount(identity, 0);
    case 1:
        return identity.errorListsByNumber ? ErrorCount(identity, fields[0]) : ErrorRecordFields(identity, fields[0]);
    case 2: return ErrorRecordText(identity, fields[0], fields[1]);
    default: return FailAnswer(kErrorCommand);
    }
}

void RegisterClockCommands(HwtFirmware& firmware, IdentityState& identity) {
    firmware.Register(kGetDateCommand, [&identity](const HwtRequestFrame&) {
        return EncodeHwtAnswer(kGetDateCommand, kHwtPass, DateFields(RelayNow(identity)));
    });
    firmware.Register(kGetTimeCommand, [&identity](const HwtRequestFrame&) {
        return EncodeHwtAnswer(kGetTimeCommand, kHwtPass, TimeFields(RelayNow(identity)));
    });
    firmware.Register(kSetTimeCommand,
                      [&identity](const HwtRequestFrame& request) { return SetTime(identity, request); });
    firmware.Register(kSetDateCommand,
                      [&identity](const HwtRequestFrame& request) { return SetDate(identity, request); });
    firmware.Register(kTimeCodeSignalCommand, [&identity](const HwtRequestFrame&) {
        return EncodeHwtAnswer(kTimeCodeSignalCommand, kHwtPass, {AnswerScalar(identity.timeCodeSignal ? 1 : 0)});
    });
    firmware.Register(kTimeCodeFormatCommand, SetTimeCodeFormat);
    firmware.Register(kTimeCodeTimeCommand, [&identity](const HwtRequestFrame&) { return TimeCodeTime(identity); });
    firmware.Register(kTimeCodeDateCommand, [&identity](const HwtRequestFrame&) { return TimeCodeDate(identity); });
}

}  // namespace

void RegisterIdentityCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    IdentityState& identity = hardware.identity;
    firmware.Register(kIdentityCommand,
                      [&identity](const HwtRequestFrame& request) { return IdentityAnswer(identity, request); });
    firmware.Register(kMlfbCommand, [&identity](const HwtRequestFrame&) {
        return EncodeHwtAnswer(kMlfbCommand, kHwtPass, {AnswerText(identity.mlfb)});
    });
    firmware.Register(kSerialNumberCommand, [&identity](const HwtRequestFrame&) {
        return EncodeHwtAnswer(kSerialNumberCommand, kHwtPass, {AnswerText(identity.serialNumber)});
    });
    firmware.Register(kWriteMlfbCommand, [&identity](const HwtRequestFrame& request) {
        return WriteIdentityText(kWriteMlfbCommand, identity.writesIdentity, identity.mlfb, request);
    });
    firmware.Register(kWriteSerialNumberCommand, [&identity](const HwtRequestFrame& request) {
        return WriteIdentityText(kWriteSerialNumberCommand, identity.writesIdentity, identity.serialNumber, request);
    });
    firmware.Register(kCpuIdCommand,
                      [&identity](const HwtRequestFrame& request) { return CpuIdAnswer(identity, request); });
    firmware.Register(kWatchdogCommand,
                      [&identity](const HwtRequestFrame& request) { return WatchdogAnswer(identity, request); });
    firmware.Register(kErrorCommand,
                      [&identity](const HwtRequestFrame& request) { return ErrorAnswer(identity, request); });
    // Sent without waiting for an answer, so none goes out; the model
    // restarts once the request is handled.
    firmware.Register(kResetCommand, [&hardware](const HwtRequestFrame& request) {
        if (request.scalars.size() == 1) hardware.requestedRestart = request.scalars[0];
        return std::vector<uint8_t>{};
    });
    RegisterClockCommands(firmware, identity);
}

}  // namespace testbay::sim
