#include <algorithm>
#include <ctime>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
// Up to this many fields the time code answer is a UTC second count and a status.
constexpr uint32_t kSecondCountFields = 2;
constexpr uint32_t kFieldsWithoutStatus = 3;

struct CalendarTime {
    int32_t day = 0;
    int32_t month = 0;
    int32_t year = 0;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};

// Month counted from 1, year from 1900; false when the count has no calendar date.
bool UtcCalendarTime(int32_t secondsSince1970, CalendarTime& out) {
    const time_t time = secondsSince1970;
    std::tm calendar{};
    if (gmtime_r(&time, &calendar) == nullptr) return false;
    out = {calendar.tm_mday, calendar.tm_mon + 1, calendar.tm_year, calendar.tm_hour, calendar.tm_min, calendar.tm_sec};
    return true;
}

}  // namespace

int CHwtV4Client::GetDate(int32_t& day, int32_t& month, int32_t& year, int32_t& hour, int32_t& minute,
                          int32_t& second) {
    TraceLine("CHwtV4Client::GetDate");
    const int dateResult = telegramm(kGetDateCommand, {}, kQueryTimeoutMs);
    day = Field(0);
    month = Field(1);
    year = Field(2);
    const int timeResult = telegramm(kGetTimeCommand, {}, kQueryTimeoutMs);
    hour = Field(0);
    minute = Field(1);
    second = Field(2);
    return dateResult | timeResult;
}

int CHwtV4Client::SetDate(int32_t day, int32_t month, int32_t year, int32_t hour, int32_t minute, int32_t second) {
    TraceLine("CHwtV4Client::SetDate");
    const int timeResult = telegramm(kSetTimeCommand, {Scalar(hour), Scalar(minute), Scalar(second)}, kQueryTimeoutMs);
    const int dateResult = telegramm(kSetDateCommand, {Scalar(day), Scalar(month), Scalar(year)}, kQueryTimeoutMs);
    return timeResult | dateResult;
}

int CHwtV4Client::SetTimeCodeFormat(int32_t format) {
    TraceLine("CHwtV4Client::SetTimeCodeFormat");
    return telegramm(kTimeCodeFormatCommand, {Scalar(format)}, kQueryTimeoutMs);
}

int CHwtV4Client::GetTimeCodeSignal(int32_t& signal) {
    TraceLine("CHwtV4Client::GetTimeCodeSignal");
    const int result = telegramm(kTimeCodeSignalCommand, {}, kQueryTimeoutMs);
    signal = result == 1 ? Field(0) : 0;
    return result;
}

int CHwtV4Client::GetTimeCode(int32_t& day, int32_t& month, int32_t& year, int32_t& hour, int32_t& minute,
                              int32_t& second, int32_t& status) {
    TraceLine("CHwtV4Client::GetTimeCode");
    // The field count picks the answer form: a lost answer must not leave the
    // previous command's count and fields behind.
    std::fill(std::begin(values_), std::end(values_), 0);
    fieldCount_ = 0;
    status = 0;
    int result = telegramm(kTimeCodeTimeCommand, {}, kQueryTimeoutMs);
    hour = Field(0);
    minute = Field(1);
    second = Field(2);
    if (FieldCount() > kFieldsWithoutStatus) status = Field(3);
    if (FieldCount() <= kSecondCountFields) {
        status = Field(1);
        CalendarTime utc;
        if (!UtcCalendarTime(Field(0), utc)) return 0;
        day = utc.day;
        month = utc.month;
        year = utc.year;
        hour = utc.hour;
        minute = utc.minute;
        second = utc.second;
        return result;
    }
    result = telegramm(kTimeCodeDateCommand, {}, kQueryTimeoutMs);
    day = Field(0);
    month = Field(1);
    year = Field(2);
    if (FieldCount() > kFieldsWithoutStatus) status |= Field(3);
    return result;
}

}  // namespace testbay
