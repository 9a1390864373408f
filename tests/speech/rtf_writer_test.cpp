#include "speech/rtf_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/rtf_reader.h"
#include "tests/support/unicode_texts.h"

namespace velmor {
namespace {

using testing::ReadRtf;
using testing::RtfContent;
using testing::RunColor;

const RtfFont kFont{"MS Sans Serif", 8};

// What a reader should see of a line's text: tabs kept, other control characters as blanks.
std::string SeenText(const std::string& text) {
  std::string seen;
  for (const char c : testing::AsShown(text)) {
    seen += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? ' ' : c;
  }
  return seen;
}

// Reads the document back and checks every paragraph against its line: one run with the
// line's text, colour, bold, italic and the font's size.
void ExpectReadsBackAs(const std::vector<LogLine>& lines) {
  const std::string rtf = RtfDocument(lines, kFont);
  const RtfContent doc = ReadRtf(rtf);
  ASSERT_TRUE(doc.ok()) << doc.error;
  EXPECT_EQ(doc.code_page, 1252);
  EXPECT_EQ(doc.fonts, std::vector<std::string>{"MS Sans Serif"});
  EXPECT_TRUE(doc.unknown_words.empty()) << doc.unknown_words.front();
  EXPECT_TRUE(doc.unfinished.runs.empty()) << "text after the last paragraph";
  ASSERT_EQ(doc.paragraphs.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LogLine& line = lines[i];
    const auto& runs = doc.paragraphs[i].runs;
    if (line.text.empty()) {
      EXPECT_TRUE(runs.empty()) << "line " << i;
      continue;
    }
    ASSERT_EQ(runs.size(), 1u) << "line " << i << " changes its look midway";
    EXPECT_EQ(runs[0].text, SeenText(line.text)) << "line " << i;
    EXPECT_EQ(RunColor(doc, runs[0]), line.color) << "line " << i;
    EXPECT_EQ(runs[0].bold, line.style == LogStyle::kBoldItalic) << "line " << i;
    EXPECT_EQ(runs[0].italic, line.style != LogStyle::kRegular) << "line " << i;
    EXPECT_EQ(runs[0].font_half_points, 16) << "line " << i;
  }
}

TEST(RtfWriterTest, EveryLineKeepsItsOwnColourAndStyle) {
  ExpectReadsBackAs({
      {"07.12.2026 04:42:23 --- Start Logging ---", clBlack, LogStyle::kRegular},
      {"04:43:01 [System] Willkommen", RGB(60, 32, 0), LogStyle::kItalic},
      {"04:43:02 [Anna] Hallo", RGB(128, 128, 128), LogStyle::kRegular},
      {"Die Datei \"x.mp3\" fehlt", clBlack, LogStyle::kBoldItalic},
      {"04:43:03 [Bert] ja", RGB(240, 16, 8), LogStyle::kRegular},
      {"04:43:04 [System] kursiv", RGB(240, 16, 8), LogStyle::kItalic},
      {"07.12.2026 04:50:00 --- End Logging ---", clBlack, LogStyle::kRegular},
  });
}

TEST(RtfWriterTest, ServerTextCannotBreakTheDocument) {
  std::string every_byte;
  for (int b = 1; b < 256; ++b) every_byte += static_cast<char>(b);
  ExpectReadsBackAs({
      {"C:\\Spiel\\hues.mul {x} \\par }}}{{\\rtf1 \\b fett", RGB(1, 2, 3), LogStyle::kRegular},
      {"zwei\r\nZeilen\nund\tTab\x01\x1F", clBlack, LogStyle::kItalic},
      {std::string("Null\0Byte", 9), clBlack, LogStyle::kRegular},
      {"Gespr\xE4"
       "che \x80 \xFF \x7F \\'e4",
       RGB(0, 0, 60), LogStyle::kBoldItalic},
      {every_byte, RGB(9, 9, 9), LogStyle::kRegular},
      {"\\", clBlack, LogStyle::kItalic},
      {"{", clBlack, LogStyle::kRegular},
      {" f\xFChrende und folgende Blanks ", clBlack, LogStyle::kRegular},
      {"12 \\b0 Ziffern nach Steuerwort", clBlack, LogStyle::kBoldItalic},
  });
  // Characters Windows-1252 lacks are \uN with a fallback; those it has keep their bytes.
  std::vector<LogLine> unicode;
  for (const char* text : testing::kUnicodeTexts)
    unicode.push_back({text, clBlack, LogStyle::kItalic});
  ExpectReadsBackAs(unicode);
  EXPECT_NE(RtfDocument(unicode, kFont).find("\\u1055?\\u1088?"), std::string::npos);  // "Пр"
  EXPECT_NE(RtfDocument(unicode, kFont).find("Gr\\'fc\\'dfe f\\'fcr 5 \\'80 \\'96 \\'84so\\'93"),
            std::string::npos);
}

TEST(RtfWriterTest, EmptyLinesAndAnEmptyLog) {
  ExpectReadsBackAs({{"", RGB(5, 5, 5), LogStyle::kItalic}, {"a", clBlack, LogStyle::kRegular}});
  ExpectReadsBackAs({});
}

TEST(RtfWriterTest, RandomLinesReadBackUnchanged) {
  std::mt19937 random(20260203);
  const TColor colors[] = {clBlack, RGB(60, 60, 60), RGB(240, 0, 8), RGB(0, 0, 60)};
  const LogStyle styles[] = {LogStyle::kRegular, LogStyle::kItalic, LogStyle::kBoldItalic};
  std::vector<LogLine> lines;
  for (int i = 0; i < 300; ++i) {
    LogLine line;
    const int length = static_cast<int>(random() % 40);
    for (int j = 0; j < length; ++j) line.text += static_cast<char>(random() % 256);
    line.color = colors[random() % 4];
    line.style = styles[random() % 3];
    lines.push_back(line);
  }
  ExpectReadsBackAs(lines);
}

TEST(RtfWriterTest, ColourTableHoldsEachUsedColourOnce) {
  const std::vector<LogLine> lines = {
      {"a", RGB(1, 2, 3), LogStyle::kRegular},
      {"b", clBlack, LogStyle::kRegular},
      {"c", RGB(1, 2, 3), LogStyle::kItalic},
      {"d", clBlack | 0x80000000u, LogStyle::kRegular},
  };
  const RtfContent doc = ReadRtf(RtfDocument(lines, kFont));
  ASSERT_TRUE(doc.ok()) << doc.error;
  ASSERT_EQ(doc.colors.size(), 3u);  // the automatic entry, then the two colours
  EXPECT_TRUE(doc.colors[0].automatic);
  EXPECT_EQ(RunColor(doc, doc.paragraphs[3].runs[0]), clBlack);
}

TEST(RtfReaderTest, CatchesWhatAFaultyWriterWouldProduce) {
  EXPECT_FALSE(ReadRtf("{\\rtf1 {unbalanced\\par}").ok());
  EXPECT_FALSE(ReadRtf("{\\rtf1 a}}").ok());
  EXPECT_FALSE(ReadRtf("{\\rtf1 \\'4").ok());
  EXPECT_FALSE(ReadRtf("plain text").ok());

  const RtfContent leaked = ReadRtf("{\\rtf1 \\i a\\par b\\par}");
  ASSERT_TRUE(leaked.ok());
  EXPECT_TRUE(leaked.paragraphs[1].runs[0].italic);
  const RtfContent split = ReadRtf("{\\rtf1 a\\\nb\\par}");
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split.paragraphs.size(), 2u);
}

}  // namespace
}  // namespace velmor
