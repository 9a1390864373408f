#include "platform/time_text.h"

#include <windows.h>

#include "platform/text_codec.h"

namespace velmor {
namespace {

SYSTEMTIME SystemTimeOf(const std::tm& when) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(when.tm_year + 1900);
  time.wMonth = static_cast<WORD>(when.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(when.tm_wday);
  time.wDay = static_cast<WORD>(when.tm_mday);
  time.wHour = static_cast<WORD>(when.tm_hour);
  time.wMinute = static_cast<WORD>(when.tm_min);
  time.wSecond = static_cast<WORD>(when.tm_sec);
  return time;
}

// `length` counts the closing zero; 0 means the system refused (say a date it cannot show).
std::string Utf8Of(const wchar_t* text, int length) {
  return WideToUtf8(std::wstring_view(text, static_cast<std::size_t>(length - 1)));
}

}  // namespace

std::string TimeText(const std::tm& when) {
  const SYSTEMTIME time = SystemTimeOf(when);
  wchar_t text[128];
  // No format and no flags: the user's long time format.
  const int length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, text, 128);
  return length > 0 ? Utf8Of(text, length) : TimeText(when, std::locale::classic());
}

std::string DateText(const std::tm& when) {
  const SYSTEMTIME time = SystemTimeOf(when);
  wchar_t text[128];
  const int length =
      GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 128, nullptr);
  return length > 0 ? Utf8Of(text, length) : DateText(when, std::locale::classic());
}

}  // namespace velmor
