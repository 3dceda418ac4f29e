#include "base/wall_clock.h"

#include <cstdio>

namespace {

ClockSource clock_source = nullptr;

constexpr int64_t ms_per_day = 86400000;

// The date of a day counted from 1970-01-01 in the proleptic Gregorian
// calendar (eras of 400 years, March-based years, so that February ends a
// year).
void date_of(int64_t days, CivilTime& t) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t day_of_era = days - era * 146097;
    int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    int64_t mp = (5 * day_of_year + 2) / 153;
    t.day = int(day_of_year - (153 * mp + 2) / 5 + 1);
    t.month = int(mp < 10 ? mp + 3 : mp - 9);
    t.year = int(year_of_era + era * 400 + (t.month <= 2 ? 1 : 0));
}

} // namespace

int64_t clock_local_ms() {
    return clock_source ? clock_source() : platform_clock_local_ms();
}

void set_clock_source(ClockSource source) {
    clock_source = source;
}

CivilTime civil_of(int64_t local_ms) {
    int64_t days = local_ms >= 0 ? local_ms / ms_per_day : (local_ms - ms_per_day + 1) / ms_per_day;
    int64_t in_day = local_ms - days * ms_per_day;
    CivilTime t{};
    date_of(days, t);
    t.hour = int(in_day / 3600000);
    t.minute = int(in_day / 60000 % 60);
    t.second = int(in_day / 1000 % 60);
    t.millisecond = int(in_day % 1000);
    return t;
}

// The fields are in range; the remainders only tell the compiler how wide
// they print.
void format_clock_time(int64_t local_ms, char (&out)[clock_time_size]) {
    CivilTime t = civil_of(local_ms);
    snprintf(out, sizeof out, "%02u:%02u:%02u.%03u", unsigned(t.hour) % 100u,
             unsigned(t.minute) % 100u, unsigned(t.second) % 100u, unsigned(t.millisecond) % 1000u);
}

namespace {

// Years outside four digits would not fit the stamps' width.
unsigned four_digit_year(const CivilTime& t) {
    return t.year < 0 ? 0u : t.year > 9999 ? 9999u : unsigned(t.year);
}

} // namespace

void format_clock_stamp(int64_t local_ms, char (&out)[clock_stamp_size]) {
    CivilTime t = civil_of(local_ms);
    char time[clock_time_size];
    format_clock_time(local_ms, time);
    unsigned year = four_digit_year(t);
    snprintf(out, sizeof out, "%04u-%02u-%02u %s", year, unsigned(t.month) % 100u,
             unsigned(t.day) % 100u, time);
}

void format_clock_name_stamp(int64_t local_ms, char (&out)[clock_name_stamp_size]) {
    CivilTime t = civil_of(local_ms);
    snprintf(out, sizeof out, "%04u%02u%02u-%02u%02u%02u", four_digit_year(t),
             unsigned(t.month) % 100u, unsigned(t.day) % 100u, unsigned(t.hour) % 100u,
             unsigned(t.minute) % 100u, unsigned(t.second) % 100u);
}
