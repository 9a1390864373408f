#pragma once

#include <array>
#include <string>

// What players on shards around the world write, as UTF-8: one table for every test of the
// way from a Unicode speech packet to the pane and the log files.
namespace velmor::testing {

inline constexpr std::array<const char*, 6> kUnicodeTexts = {
    "\u041F\u0440\u0438\u0432\u0435\u0442, \u043F\u0443\u0442\u043D\u0438\u043A!",  // Привет,
                                                                                    // путник!
    "Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144",  // Zażółć gęślą jaźń
    "\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 \u03C6\u03AF\u03BB\u03B5",  // Καλημέρα φίλε
    "\u4F60\u597D\uFF0C\u4E00\u8D77\u53BB\u5417\uFF1F \U0001F600",  // 你好，一起去吗？ 😀
    "\u0100 am Anfang",                                             // Ā am Anfang
    "Gr\u00FC\u00DFe f\u00FCr 5 \u20AC \u2013 \u201Eso\u201C",  // Grüße für 5 € – „so“
};

// The log the find bar tests of both desktops search: 300 lines, "passwort" in three cases
// at lines 10, 150 (beside a Cyrillic word) and 290, and a match far right at line 200.
inline std::string FindTestLine(int i) {
  if (i == 10) return "[Quest] Das PASSWORT ist Rabe";
  if (i == 150) return "[Bob] passwort? \u041F\u0430\u0440\u043E\u043B\u044C";  // Пароль
  if (i == 200) return std::string(300, 'x') + " Drachenei";
  if (i == 290) return "[Mia] Passwort vergessen";
  return "Zeile " + std::to_string(i);
}
inline constexpr int kFindTestLines = 300;

}  // namespace velmor::testing
