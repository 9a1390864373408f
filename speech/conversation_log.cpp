#include "speech/conversation_log.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "platform/exception.h"
#include "speech/time_text.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Far more runs than can end within one minute; a bound only so that a folder that claims
// every name is taken cannot keep us looping.
constexpr int kMaxNameSuffix = 9999;
constexpr int kMaxTemporaryTries = 100;

[[noreturn]] void ThrowWriteError(const std::string& name, const std::error_code& error) {
  throw Exception("Die Logdatei \"" + name + "\" konnte nicht geschrieben werden: " +
                  LocaleTextToWindows1252(error.message()));
}

// The reason of the C library call that just failed; an input/output error when it left
// none.
std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

// "name.rtf", "name_2.rtf", "name_3.rtf", ...
fs::path Candidate(const fs::path& folder, const std::string& name, int number) {
  if (number == 1) return folder / name;
  const std::string stem = name.substr(0, name.size() - 4);
  return folder / (stem + "_" + std::to_string(number) + ".rtf");
}

// Creates a new file that no one else has under a random name beside `final_name` and writes
// the content to it. Returns its path, or the reason it could not be written (and then
// nothing is left behind).
fs::path WriteTemporary(const fs::path& final_name, const std::string& content,
                        std::error_code& error) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int tries = 0; tries < kMaxTemporaryTries; ++tries) {
    fs::path temporary = final_name;
    temporary += ".tmp" + std::to_string(random() % 1000000);
    errno = 0;
    // "x": fail rather than reuse a file that exists.
    std::FILE* file = std::fopen(temporary.string().c_str(), "wbx");
    if (file == nullptr) {
      error = LastError();
      if (error == std::errc::file_exists) continue;
      return {};
    }
    errno = 0;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() &&
                         std::fflush(file) == 0;
    if (!written) error = LastError();
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) {
      error.clear();
      return temporary;
    }
    if (written) error = LastError();
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return {};
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

// Gives the temporary file the final name unless a file of that name exists. A hard link
// fails on a taken name however the race goes; where the file system has no hard links,
// a rename after a check is the best there is.
bool ClaimName(const fs::path& temporary, const fs::path& final_name, std::error_code& error) {
  fs::create_hard_link(temporary, final_name, error);
  if (!error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return true;
  }
  if (error == std::errc::file_exists) return false;
  std::error_code status_error;
  if (fs::symlink_status(final_name, status_error).type() != fs::file_type::not_found) {
    error = std::make_error_code(std::errc::file_exists);
    return false;
  }
  fs::rename(temporary, final_name, error);
  return !error;
}

}  // namespace

std::string TwoDigits(int n) {
  std::string text;
  if (n < 10) text = '0';
  return text += std::to_string(n);
}

std::string LogFileName(const std::tm& when) {
  return "Velmor_Logfile_" + std::to_string(when.tm_year + 1900) + TwoDigits(when.tm_mon + 1) +
         TwoDigits(when.tm_mday) + "_" + TwoDigits(when.tm_hour) + TwoDigits(when.tm_min) + ".rtf";
}

void ConversationLog::AppendLogLine(std::string text, TColor color, LogStyle style) {
  AppendLogLine(LogLine{std::move(text), color, style});
}

void ConversationLog::AppendLogLine(LogLine line) {
  lines_.push_back(std::move(line));
  if (observer_) observer_(lines_.back());
}

void ConversationLog::WriteStartLine() {
  WriteStartLine(LocalNow());
}
void ConversationLog::WriteStartLine(const std::tm& now) {
  AppendLogLine(DateText(now) + " " + TimeText(now) + " --- Start Logging ---");
}

void ConversationLog::WriteEndLine() {
  WriteEndLine(LocalNow());
}
void ConversationLog::WriteEndLine(const std::tm& now) {
  AppendLogLine(DateText(now) + " " + TimeText(now) + " --- End Logging ---");
}

std::optional<std::string> ConversationLog::SaveLogFile(const std::string& folder) const {
  return SaveLogFile(folder, LocalNow());
}

std::optional<std::string> ConversationLog::SaveLogFile(const std::string& folder,
                                                        const std::tm& now) const {
  if (LineCount() < 3) return std::nullopt;
  const std::string name = LogFileName(now);
  const fs::path first = Candidate(folder, name, 1);
  const std::string content = RtfDocument(lines_, RtfFont{kFontName, kFontPoints});

  std::error_code error;
  const fs::path temporary = WriteTemporary(first, content, error);
  if (error) ThrowWriteError(first.string(), error);
  for (int number = 1; number <= kMaxNameSuffix; ++number) {
    const fs::path candidate = Candidate(folder, name, number);
    if (ClaimName(temporary, candidate, error)) return candidate.string();
    if (error != std::errc::file_exists) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      ThrowWriteError(candidate.string(), error);
    }
  }
  std::error_code ignored;
  fs::remove(temporary, ignored);
  ThrowWriteError(first.string(), std::make_error_code(std::errc::file_exists));
}

}  // namespace velmor
