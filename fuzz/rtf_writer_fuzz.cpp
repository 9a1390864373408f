// The log file's RTF writer over arbitrary lines (UTF-8, or any bytes, which read as
// Windows-1252 where they are not UTF-8), colours and styles. An independent reader must
// find the document well formed, in code page 1252, with the log's font, and one paragraph
// per line holding the line's text as shown (a tab read back as a tab, every other
// character below 0x20 as a space, as the writer promises) in the line's colour (its RGB
// part), bold and italic as its style says. Nothing may follow the last paragraph.
//
// Input: lines, each a style byte, four colour bytes and a text of random length.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "speech/conversation_log.h"
#include "speech/rtf_writer.h"
#include "tests/support/rtf_reader.h"

namespace {

using velmor::LogLine;
using velmor::LogStyle;

std::string ExpectedText(const std::string& text) {
  std::string expected = velmor::testing::AsShown(text);
  for (char& c : expected) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
  }
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  std::vector<LogLine> lines;
  while (provider.remaining_bytes() > 0) {
    LogLine line;
    line.style = static_cast<LogStyle>(provider.ConsumeIntegralInRange(0, 2));
    line.color = provider.ConsumeIntegral<velmor::TColor>();
    line.text = provider.ConsumeRandomLengthString(300);
    lines.push_back(std::move(line));
  }
  const velmor::RtfFont font{velmor::ConversationLog::kFontName,
                             velmor::ConversationLog::kFontPoints};
  const std::string rtf = velmor::RtfDocument(lines, font);

  const velmor::testing::RtfContent doc = velmor::testing::ReadRtf(rtf);
  if (!doc.ok()) std::fprintf(stderr, "%s\n", doc.error.c_str());
  FUZZ_CHECK(doc.ok());
  FUZZ_CHECK(doc.code_page == 1252);
  FUZZ_CHECK(doc.fonts.size() == 1 && doc.fonts[0] == font.name);
  FUZZ_CHECK(doc.unknown_words.empty());
  FUZZ_CHECK(doc.unfinished.runs.empty());
  FUZZ_CHECK(doc.paragraphs.size() == lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LogLine& line = lines[i];
    const velmor::testing::RtfParagraph& paragraph = doc.paragraphs[i];
    FUZZ_CHECK(paragraph.Text() == ExpectedText(line.text));
    for (const velmor::testing::RtfRun& run : paragraph.runs) {
      FUZZ_CHECK(velmor::testing::RunColor(doc, run) == (line.color & 0x00FFFFFFu));
      FUZZ_CHECK(run.bold == (line.style == LogStyle::kBoldItalic));
      FUZZ_CHECK(run.italic == (line.style != LogStyle::kRegular));
      FUZZ_CHECK(run.font_half_points == 2 * font.points);
    }
  }
  return 0;
}
