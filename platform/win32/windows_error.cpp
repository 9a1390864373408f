#include "platform/win32/windows_error.h"

#include <windows.h>

#include <string>

#include "platform/text_codec.h"

namespace velmor {
namespace {

// Windows error numbers with the system's own description, in the user's language. The
// ones the logic asks about by their portable name match it, so that
// `error == std::errc::file_exists` holds here as on POSIX.
class WindowsErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }

  std::string message(int code) const override {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) {
      wide.pop_back();
    }
    if (wide.empty()) return "Windows error " + std::to_string(code);
    return WideToWindows1252(wide);
  }

  std::error_condition default_error_condition(int code) const noexcept override {
    switch (code) {
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS:
        return std::errc::file_exists;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return std::errc::no_such_file_or_directory;
      case ERROR_ACCESS_DENIED:
        return std::errc::permission_denied;
      case ERROR_DIRECTORY:
        return std::errc::not_a_directory;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        return std::errc::no_space_on_device;
      default:
        return std::error_condition(code, *this);
    }
  }
};

}  // namespace

std::error_code WindowsError(unsigned long code) {
  static const WindowsErrorCategory category;
  // A call that failed without saying why still failed.
  if (code == ERROR_SUCCESS) return std::make_error_code(std::errc::io_error);
  return std::error_code(static_cast<int>(code), category);
}

}  // namespace velmor
