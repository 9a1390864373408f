#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/file_io.h"
#include "platform/time_text.h"
#include "tests/support/sample_time.h"

// Texts that meet the system: file names and the time and date. The runner's user has an
// ANSI code page other than Windows-1252, so a name that went through the C library's
// narrow calls would come out as other letters.
namespace velmor {
namespace {

namespace fs = std::filesystem;

TEST(WindowsTextsTest, FileNamesReachTheSystemAsTheirCharacters) {
  const fs::path folder =
      fs::temp_directory_path() / ("velmor_names_" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(folder);
  const std::string name =
      "Gr\xFC\xDF"
      "e \x80.ini";  // "Grüße €.ini"
  std::error_code error;
  ASSERT_TRUE(WriteFileReplacing(folder / PathFromText(name), "x", error)) << error.message();
  EXPECT_TRUE(fs::exists(folder / L"Gr\u00FC\u00DFe \u20AC.ini"));
  EXPECT_EQ(TextFromPath(fs::directory_iterator(folder)->path().filename()), name);
  std::FILE* file = OpenFile(folder / PathFromText(name), "rb");
  EXPECT_NE(file, nullptr);
  if (file != nullptr) std::fclose(file);
  // The program names its files without a folder; replacing one must work that way too.
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  EXPECT_TRUE(WriteFileReplacing(PathFromText(name), "yz", error)) << error.message();
  fs::current_path(previous);
  EXPECT_EQ(fs::file_size(folder / PathFromText(name)), 2u);
  fs::remove_all(folder);
}

TEST(WindowsTextsTest, TimeAndDateFollowTheUsersRegionalSettings) {
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  // Long time and short date of 09:05:42 on Tuesday, 3 February 2026. (Windows versions
  // differ on whether a Russian hour has a leading zero.)
  const std::map<std::wstring, std::pair<std::set<std::string>, std::string>> expected = {
      {L"ru-RU", {{"9:05:42", "09:05:42"}, "03.02.2026"}},
      {L"de-DE", {{"09:05:42"}, "03.02.2026"}},
      {L"en-US", {{"9:05:42 AM"}, "2/3/2026"}},
  };
  const auto texts = expected.find(locale);
  if (texts == expected.end()) GTEST_SKIP() << "no texts known for this user's locale";
  const std::tm when = testing::SampleTime();
  EXPECT_TRUE(texts->second.first.contains(TimeText(when))) << TimeText(when);
  EXPECT_EQ(DateText(when), texts->second.second);
}

}  // namespace
}  // namespace velmor
