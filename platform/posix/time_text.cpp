#include "platform/time_text.h"

namespace velmor {

std::string TimeText(const std::tm& when) {
  return TimeText(when, UserLocale());
}

std::string DateText(const std::tm& when) {
  return DateText(when, UserLocale());
}

}  // namespace velmor
