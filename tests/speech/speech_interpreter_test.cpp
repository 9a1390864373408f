#include "speech/speech_interpreter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fakes/recording_speech_window.h"
#include "tests/support/speech_packets.h"

namespace velmor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::AsciiSpeech;
using testing::UnicodeSpeech;
using Window = testing::RecordingSpeechWindow;
using Effects = std::vector<Window::Effect>;

constexpr std::uint8_t kType6 = 6;

class SpeechInterpreterTest : public ::testing::Test {
 protected:
  // Each packet gets a buffer of exactly its size, so a read past it is caught by ASan.
  Effects Ascii(const Bytes& packet) {
    Window window;
    ProcessSpeechPacket(window, packet.data(), static_cast<std::int32_t>(packet.size()));
    return window.effects;
  }
  Effects Unicode(const Bytes& packet) {
    Window window;
    ConvertUnicodeSpeech(window, packet.data(), static_cast<std::int32_t>(packet.size()));
    return window.effects;
  }
};

TEST_F(SpeechInterpreterTest, OutcomeTable) {
  const LogStyle italic = LogStyle::kItalic;
  EXPECT_EQ(Ascii(AsciiSpeech("System", "~~Music=Town.mp3")), Effects{Window::Music("Town.mp3")});
  EXPECT_EQ(Ascii(AsciiSpeech("System", "~~Sound=door.wav", kType6)),
            Effects{Window::Sound("door.wav")});
  EXPECT_EQ(Ascii(AsciiSpeech("System", "Willkommen", kType6)),
            Effects{Window::Line("12:34:56 [System] Willkommen", 0x22, italic)});
  EXPECT_EQ(Ascii(AsciiSpeech("Aldric", "Hallo", kType6)), Effects{});
  EXPECT_EQ(Ascii(AsciiSpeech("Aldric", "Hallo", 0)),
            Effects{Window::Line("12:34:56 [Aldric] Hallo", 0x22)});
}

TEST_F(SpeechInterpreterTest, MarkersCountOnlyAsWrittenAndOnlyForSystem) {
  const LogStyle italic = LogStyle::kItalic;
  EXPECT_EQ(Ascii(AsciiSpeech("System", "~~music=Town.mp3")),
            Effects{Window::Line("12:34:56 [System] ~~music=Town.mp3", 0x22, italic)});
  EXPECT_EQ(Ascii(AsciiSpeech("Aldric", "~~Music=Town.mp3")),
            Effects{Window::Line("12:34:56 [Aldric] ~~Music=Town.mp3", 0x22)});
  EXPECT_EQ(Ascii(AsciiSpeech("System", " ~~Music=Town.mp3")),
            Effects{Window::Line("12:34:56 [System]  ~~Music=Town.mp3", 0x22, italic)});
  EXPECT_EQ(Ascii(AsciiSpeech("System", "~~Sound=")), Effects{Window::Sound("")});
  // The file name is taken as it stands.
  EXPECT_EQ(Ascii(AsciiSpeech("System", "~~Music= a b\\c.mid ")),
            Effects{Window::Music(" a b\\c.mid ")});
}

TEST_F(SpeechInterpreterTest, LongerNameBeginningWithSystemCountsAsSystem) {
  EXPECT_EQ(Ascii(AsciiSpeech("Systemverwalter", "~~Sound=bell.wav")),
            Effects{Window::Sound("bell.wav")});
  EXPECT_EQ(Ascii(AsciiSpeech("Systemverwalter", "Neustart", kType6)),
            Effects{Window::Line("12:34:56 [Systemverwalter] Neustart", 0x22, LogStyle::kItalic)});
  EXPECT_EQ(Ascii(AsciiSpeech("system", "Neustart", kType6)), Effects{});
}

TEST_F(SpeechInterpreterTest, HueIsTheWhole16Bits) {
  Window window;
  const Bytes plain = AsciiSpeech("Aldric", "a", 0, 0x0022);
  const Bytes flagged = AsciiSpeech("Aldric", "b", 0, 0x8022);
  ProcessSpeechPacket(window, plain.data(), static_cast<std::int32_t>(plain.size()));
  ProcessSpeechPacket(window, flagged.data(), static_cast<std::int32_t>(flagged.size()));
  EXPECT_EQ(window.hues, (std::vector<int>{34, 32802}));
  EXPECT_EQ(window.effects[1].line.color, Window::ColorOf(32802));
}

// Lines are UTF-8: ASCII speech's bytes are Windows-1252 characters.
TEST_F(SpeechInterpreterTest, AsciiSpeechIsWindows1252) {
  EXPECT_EQ(Ascii(AsciiSpeech("J\xF6rg",
                              "Gr\xFC\xDF"
                              "e \x80")),
            Effects{Window::Line("12:34:56 [J\u00F6rg] Gr\u00FC\u00DFe \u20AC", 0x22)});
}

TEST_F(SpeechInterpreterTest, NameFillingItsFieldEndsAtTheFieldsEnd) {
  const std::string name(30, 'N');
  EXPECT_EQ(Ascii(AsciiSpeech(name, "hi")),
            Effects{Window::Line("12:34:56 [" + name + "] hi", 0x22)});
}

TEST_F(SpeechInterpreterTest, TextWithoutNulEndsAtThePacketsEnd) {
  Bytes packet = AsciiSpeech("Aldric", "Hallo");
  packet.pop_back();  // the NUL
  EXPECT_EQ(Ascii(packet), Effects{Window::Line("12:34:56 [Aldric] Hallo", 0x22)});
  Bytes bare = AsciiSpeech("Aldric", "");
  bare.pop_back();  // a header and nothing else
  EXPECT_EQ(Ascii(bare), Effects{Window::Line("12:34:56 [Aldric] ", 0x22)});
}

TEST_F(SpeechInterpreterTest, MarkerNeedsAllEightBytes) {
  Bytes packet = AsciiSpeech("System", "~~Music");
  packet.pop_back();  // seven text bytes, no NUL
  EXPECT_EQ(Ascii(packet),
            Effects{Window::Line("12:34:56 [System] ~~Music", 0x22, LogStyle::kItalic)});
  Bytes exact = AsciiSpeech("System", "~~Music=");
  exact.pop_back();  // the marker and nothing after it
  EXPECT_EQ(Ascii(exact), Effects{Window::Music("")});
}

TEST_F(SpeechInterpreterTest, PacketsShorterThanTheirHeaderAreSkipped) {
  Bytes ascii = AsciiSpeech("System", "");
  ascii.resize(43);
  EXPECT_EQ(Ascii(ascii), Effects{});
  EXPECT_EQ(Ascii(Bytes{0x1C, 0x00, 0x05, 0x41, 0x42}), Effects{});
  Bytes unicode = UnicodeSpeech("System", u"");
  unicode.resize(47);
  EXPECT_EQ(Unicode(unicode), Effects{});
  EXPECT_EQ(Unicode(Bytes{0xAE, 0x00, 0x03}), Effects{});
}

// Unicode speech as it was sent, up to its NUL unit and no further; a unit that is no
// character shows as U+FFFD. Before, each unit was cut to its low byte, and one whose low
// byte was 0 (U+0100, U+4E00) ended the text.
TEST_F(SpeechInterpreterTest, UnicodeSpeechKeepsEveryCharacter) {
  const struct {
    std::u16string sent;
    const char* shown;
  } cases[] = {
      {u"K\u00E4se \u20AC", "K\u00E4se \u20AC"},
      {u"ab\u0100cd \u4E00", "ab\u0100cd \u4E00"},
      {u"\U0001F600 ok", "\U0001F600 ok"},
      {std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00), u'\uFFFF'},
       "a\uFFFDb\uFFFD\uFFFD"},
      {std::u16string{u'a', u'\0', u'b'}, "a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Unicode(UnicodeSpeech("Bj\xF6rn", c.sent)),
              Effects{Window::Line(std::string("12:34:56 [Bj\u00F6rn] ") + c.shown, 0x22)});
  }
  // A file named in a script beyond Windows-1252; the marker only in its ASCII spelling.
  EXPECT_EQ(Unicode(UnicodeSpeech("System", u"~~Sound=\u0437\u0432\u0443\u043A.wav")),
            Effects{Window::Sound("\u0437\u0432\u0443\u043A.wav")});
  EXPECT_EQ(Unicode(UnicodeSpeech("System", u"\uFF5E\uFF5EMusic=x.mid")),
            (Effects{Window::Line("12:34:56 [System] \uFF5E\uFF5EMusic=x.mid", 0x22,
                                  LogStyle::kItalic)}));
}

TEST_F(SpeechInterpreterTest, UnicodeSpeechFollowsTheSameRules) {
  EXPECT_EQ(Unicode(UnicodeSpeech("System", u"~~Music=Burg.mp3", 0, 0x8022)),
            Effects{Window::Music("Burg.mp3")});
  EXPECT_EQ(Unicode(UnicodeSpeech("Aldric", u"psst", kType6)), Effects{});
  EXPECT_EQ(Unicode(UnicodeSpeech("System", u"Server", kType6, 0x03B2)),
            Effects{Window::Line("12:34:56 [System] Server", 0x03B2, LogStyle::kItalic)});
}

TEST_F(SpeechInterpreterTest, UnicodeLengthFieldSetsTheUnitsAndNothingBeyondIsRead) {
  // Three units without a terminator; the bytes after the packet would spell more text.
  Bytes packet = UnicodeSpeech("Aldric", u"abcXYZ");
  packet.resize(48 + 2 * 3 + 5, 0x41);  // five more bytes past the declared length
  packet[1] = 0;
  packet[2] = 48 + 2 * 3;
  Window window;
  ConvertUnicodeSpeech(window, packet.data(), 48 + 2 * 3);
  EXPECT_EQ(window.effects, Effects{Window::Line("12:34:56 [Aldric] abc", 0x22)});
  // A length field longer than the packet given: the packet's end bounds the text.
  Bytes truncated = UnicodeSpeech("Aldric", u"abcdef");
  truncated.resize(48 + 2 * 2 + 1);
  EXPECT_EQ(Unicode(truncated), Effects{Window::Line("12:34:56 [Aldric] ab", 0x22)});
}

}  // namespace
}  // namespace velmor
