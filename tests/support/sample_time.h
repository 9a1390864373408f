#pragma once

#include <ctime>

namespace velmor::testing {

// 09:05:42 on Tuesday, 3 February 2026, local time: the moment the log and time tests name.
inline std::tm SampleTime() {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 1;
  when.tm_mday = 3;
  when.tm_wday = 2;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 42;
  when.tm_isdst = -1;
  return when;
}

}  // namespace velmor::testing
