#include "speech/conversation_log.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/exception.h"
#include "platform/file_io.h"
#include "platform/text_codec.h"
#include "platform/time_text.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

// Far more runs than can end within one minute; a bound only so that a folder that claims
// every name is taken cannot keep us looping.
constexpr int kMaxNameSuffix = 9999;

[[noreturn]] void ThrowWriteError(const std::string& name, const std::error_code& error) {
  throw Exception("Die Logdatei \"" + name + "\" konnte nicht geschrieben werden: " +
                  LocaleTextToWindows1252(error.message()));
}

constexpr std::string_view kStartMark = " --- Start Logging ---";
constexpr std::string_view kEndMark = " --- End Logging ---";

// "name.rtf", "name_2.rtf", "name_3.rtf", ...
fs::path Candidate(const fs::path& folder, const std::string& name, int number) {
  if (number == 1) return folder / PathFromText(name);
  const std::string stem = name.substr(0, name.size() - 4);
  return folder / PathFromText(stem + "_" + std::to_string(number) + ".rtf");
}

}  // namespace

bool IsStartOrEndLine(LogLineView line) {
  const std::string_view text = line.text;
  return (text.ends_with(kStartMark) || text.ends_with(kEndMark)) &&
         text.find('[') == std::string_view::npos;
}

std::string TwoDigits(int n) {
  std::string text;
  if (n < 10) text = '0';
  return text += std::to_string(n);
}

std::string LogFileName(const std::tm& when) {
  return "Velmor_Logfile_" + std::to_string(when.tm_year + 1900) + TwoDigits(when.tm_mon + 1) +
         TwoDigits(when.tm_mday) + "_" + TwoDigits(when.tm_hour) + TwoDigits(when.tm_min) + ".rtf";
}

std::string ClaimLogFileName(const fs::path& staged, const std::string& folder,
                             const std::string& name) {
  const fs::path folder_path = PathFromText(folder);
  std::error_code error;
  for (int number = 1; number <= kMaxNameSuffix; ++number) {
    const fs::path candidate = Candidate(folder_path, name, number);
    if (CommitIfAbsent(staged, candidate, error)) return TextFromPath(candidate);
    if (error != std::errc::file_exists) ThrowWriteError(TextFromPath(candidate), error);
  }
  ThrowWriteError(TextFromPath(Candidate(folder_path, name, 1)),
                  std::make_error_code(std::errc::file_exists));
}

std::string WriteLogFile(const std::string& folder, const std::string& name,
                         std::string_view content) {
  const fs::path first = Candidate(PathFromText(folder), name, 1);
  std::error_code error;
  const fs::path temporary = WriteStagedFile(first, content, error);
  if (error) ThrowWriteError(TextFromPath(first), error);
  try {
    return ClaimLogFileName(temporary, folder, name);
  } catch (const Exception&) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
}

void ConversationLog::AppendLogLine(std::string text, TColor color, LogStyle style) {
  AppendLogLine(LogLine{std::move(text), color, style});
}

void ConversationLog::AppendLogLine(LogLine line) {
  const std::string_view text = line.text;
  // A line whose text (or count) would not fit a record is cut there; no server sends one.
  const std::size_t length = std::min<std::size_t>(text.size(), UINT32_MAX);
  if (block_size_ - block_used_ < length || blocks_.empty()) {
    block_size_ = std::max(kBlockBytes, length);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(block_size_));
    block_used_ = 0;
  }
  std::copy_n(text.data(), length, blocks_.back().get() + block_used_);
  records_.push_back(Record{static_cast<std::uint32_t>(blocks_.size() - 1),
                            static_cast<std::uint32_t>(block_used_),
                            static_cast<std::uint32_t>(length), line.color, line.style});
  block_used_ += length;
  const LogLineView added = Line(LineCount() - 1);
  for (const auto& [id, observer] : observers_) observer(added);
}

LogLineView ConversationLog::Line(int index) const {
  const Record& record = records_.at(static_cast<std::size_t>(index));
  return LogLineView(std::string_view(blocks_[record.block].get() + record.offset, record.length),
                     record.color, record.style);
}

int ConversationLog::AddObserver(Observer observer) {
  observers_.emplace_back(next_observer_id_, std::move(observer));
  return next_observer_id_++;
}

void ConversationLog::RemoveObserver(int id) {
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void ConversationLog::WriteStartLine() {
  WriteStartLine(LocalNow());
}
void ConversationLog::WriteStartLine(const std::tm& now) {
  AppendLogLine(DateText(now) + " " + TimeText(now) + std::string(kStartMark));
}

void ConversationLog::WriteEndLine() {
  WriteEndLine(LocalNow());
}
void ConversationLog::WriteEndLine(const std::tm& now) {
  AppendLogLine(DateText(now) + " " + TimeText(now) + std::string(kEndMark));
}

std::optional<std::string> ConversationLog::SaveLogFile(const std::string& folder) const {
  return SaveLogFile(folder, LocalNow());
}

std::optional<std::string> ConversationLog::SaveLogFile(const std::string& folder,
                                                        const std::tm& now) const {
  if (!WorthALogFile(Lines())) return std::nullopt;
  return WriteLogFile(folder, LogFileName(now),
                      RtfDocument(Lines(), RtfFont{kFontName, kFontPoints}));
}

}  // namespace velmor
