#include "platform/time_text.h"

#include <iomanip>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "platform/text_codec.h"

namespace velmor {
namespace {

std::string FormatTime(const std::tm& when, const std::locale& locale, const char* format) {
  std::ostringstream out;
  out.imbue(locale);
  out << std::put_time(&when, format);
  return LocaleTextToUtf8(out.str());
}

}  // namespace

std::tm LocalNow() {
  return LocalTime(std::time(nullptr));
}

std::tm LocalTime(std::time_t when) {
  // std::localtime hands out one static buffer; the lock keeps our own callers apart.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const std::tm* local = std::localtime(&when);
  return local != nullptr ? *local : std::tm{};
}

const std::locale& UserLocale() {
  static const std::locale locale = [] {
    try {
      return std::locale("");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }();
  return locale;
}

std::string TimeText() {
  return TimeText(LocalNow());
}
std::string TimeText(const std::tm& when, const std::locale& locale) {
  return FormatTime(when, locale, "%X");
}

std::string DateText() {
  return DateText(LocalNow());
}
std::string DateText(const std::tm& when, const std::locale& locale) {
  return FormatTime(when, locale, "%x");
}

}  // namespace velmor
