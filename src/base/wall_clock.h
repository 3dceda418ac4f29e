// The local wall clock, for the times of the log entries. A time is counted
// in milliseconds since 1970-01-01 00:00 of the local calendar (the local
// date and time read as if they were UTC), so that it splits into date and
// time of day by arithmetic alone.
#pragma once

#include <cstddef>
#include <cstdint>

int64_t clock_local_ms();

// The operating system's clock; clock_local_ms() returns it unless a clock
// source was installed (tests install one that gives exact times).
int64_t platform_clock_local_ms();
using ClockSource = int64_t (*)();
void set_clock_source(ClockSource source); // nullptr restores the system clock

struct CivilTime {
    int year, month, day; // month and day from 1
    int hour, minute, second, millisecond;
};
CivilTime civil_of(int64_t local_ms);

// "hh:mm:ss.mmm"
inline constexpr size_t clock_time_size = 13;
void format_clock_time(int64_t local_ms, char (&out)[clock_time_size]);
// "YYYY-MM-DD hh:mm:ss.mmm"
inline constexpr size_t clock_stamp_size = 24;
void format_clock_stamp(int64_t local_ms, char (&out)[clock_stamp_size]);
// "YYYYMMDD-hhmmss", for the names the saves propose
inline constexpr size_t clock_name_stamp_size = 16;
void format_clock_name_stamp(int64_t local_ms, char (&out)[clock_name_stamp_size]);
