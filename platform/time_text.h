#pragma once

#include <ctime>
#include <locale>
#include <string>

// The time and date texts that log lines carry, in the user's locale as the system formats
// them: on POSIX the C++ locale of the environment, on Windows the user's regional settings
// (GetTimeFormatEx, GetDateFormatEx).
//
// The texts are UTF-8, like the log lines they go into, so that a locale's AM/PM marker or
// separators outside Windows-1252 (Greek, Russian, Chinese) show as the system writes them.
// All functions may be called from any thread.
namespace velmor {

// The current local time, broken down.
std::tm LocalNow();
// A moment as local time, broken down.
std::tm LocalTime(std::time_t when);

// The environment's locale, or the classic "C" locale when the environment names one that
// this system does not have. Made once.
const std::locale& UserLocale();

// The local time in the user's long time format, e.g. "14:05:09".
std::string TimeText();
std::string TimeText(const std::tm& when);
// The same in a given C++ locale (%X).
std::string TimeText(const std::tm& when, const std::locale& locale);

// The local date in the user's short date format, e.g. "07.12.2026".
std::string DateText();
std::string DateText(const std::tm& when);
// The same in a given C++ locale (%x).
std::string DateText(const std::tm& when, const std::locale& locale);

}  // namespace velmor
