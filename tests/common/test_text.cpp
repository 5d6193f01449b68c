#include <gtest/gtest.h>

#include "common/datetime.h"
#include "definitions/line_reader.h"
#include "common/text.h"

using namespace quillon;

namespace {
class StringFile : public InputFile {
 public:
  StringFile(std::string s, size_t chunk) : s_(std::move(s)), chunk_(chunk) {}
  size_t read(char* buf, size_t n) override {
    size_t k = std::min({n, chunk_, s_.size() - pos_});
    std::copy_n(s_.data() + pos_, k, buf);
    pos_ += k;
    return k;
  }

 private:
  std::string s_;
  size_t chunk_, pos_ = 0;
};

std::vector<std::string> linesOf(const std::string& s, size_t chunk = 1 << 20) {
  LineReader r(std::make_unique<StringFile>(s, chunk));
  std::vector<std::string> out;
  for (std::string l; r.next(l);) out.push_back(l);
  return out;
}
}  // namespace

TEST(LineReader, EndsLinesAtCrLfOrLoneCrButNotLoneLf) {
  using V = std::vector<std::string>;
  EXPECT_EQ(linesOf("a\r\nb\rc\nd\r\n"), (V{"a", "b", "c\nd"}));
  EXPECT_EQ(linesOf("last without end"), (V{"last without end"}));
  EXPECT_EQ(linesOf("\r\n\r\nx"), (V{"", "", "x"}));
  EXPECT_EQ(linesOf(""), V{});
  // A CR LF pair split across two reads is still one line end.
  EXPECT_EQ(linesOf("ab\r\ncd\r\n", 3), (V{"ab", "cd"}));
}

TEST(Text, CollapseIsOnePassLeftToRight) {
  EXPECT_EQ(collapseBackslashes("C:\\\\a\\\\\\b"), "C:\\a\\\\b");
  EXPECT_EQ(collapseBackslashes("\\\\\\\\"), "\\\\");
}

TEST(Text, CaseInsensitiveSearchAndReplace) {
  EXPECT_EQ(ireplaceAll("[WinDir]x[windir]", "[windir]", "W\\"), "W\\xW\\");
  EXPECT_EQ(ifind("abcABC", "cab"), 2u);
  EXPECT_EQ(split("a|b||", "|"), (std::vector<std::string>{"a", "b", "", ""}));
  EXPECT_EQ(trim("  a b \t "), "a b \t");  // spaces only
}

TEST(Text, NumbersBooleansAndPercentages) {
  bool b;
  EXPECT_TRUE(parseBoolean("tRUE", b) && b);
  EXPECT_TRUE(parseBoolean("0", b) && !b);
  EXPECT_TRUE(parseBoolean("1", b) && b);
  EXPECT_FALSE(parseBoolean("yes", b));
  double d;
  // Stored numbers are plain decimals.
  for (const std::string& bad :
       std::vector<std::string>{"abc", "1e300", "nan", "inf", "0x10", "1e0", "--1", ".", "1.2.3", std::string(400, '9')})
    EXPECT_FALSE(parseNumber(bad, d)) << bad;
  EXPECT_TRUE(parseNumber(" 1400 ", d) && d == 1400);
  EXPECT_TRUE(parseNumber(" -12.5 ", d) && d == -12.5);
  EXPECT_EQ(roundPercent(12.5), 12);  // halves to even
  EXPECT_EQ(roundPercent(13.5), 14);
  EXPECT_EQ(groupDigits(1234567), "1,234,567");
  EXPECT_EQ(groupDigits(12), "12");
}

TEST(DateTime, RoundTripsTheOneStoredForm) {
  DateTime t;
  ASSERT_TRUE(parseDateTime("3/16/2006 12:00:00 AM", t));
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(formatDateTime(t), "3/16/2006 12:00:00 AM");
  ASSERT_TRUE(parseDateTime("12/31/2026 11:59:07 PM", t));
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(formatDateTime(t), "12/31/2026 11:59:07 PM");
  EXPECT_FALSE(parseDateTime("Null", t));
  EXPECT_FALSE(parseDateTime("13/1/2026", t));
}

TEST(DateTime, TimesKeepTheirHalfOfTheDayAndRefuseWhatFollows) {
  struct Case {
    const char* text;
    bool ok;
    int hour, minute, second;
  } cases[] = {
      {"1:05 PM", true, 13, 5, 0},         {"3/16/2006 1:05 pm", true, 13, 5, 0}, {"12:30:00 AM", true, 0, 30, 0},
      {"12:00:01 PM", true, 12, 0, 1},      {"13:00:00", true, 13, 0, 0},         {"13:00:00 AM", false, 0, 0, 0},
      {"0:30:00 AM", false, 0, 0, 0},       {"1:05:00 XY", false, 0, 0, 0},       {"1:05:00 PMx", false, 0, 0, 0},
      {"3/16/2006 1:05:", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DateTime t;
    ASSERT_EQ(parseDateTime(c.text, t), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(t.hour, c.hour);
    EXPECT_EQ(t.minute, c.minute);
    EXPECT_EQ(t.second, c.second);
  }
}

// Scheduled scans compare weekdays as numbers, so these must hold across leap years and
// centuries whatever the system's language.
TEST(DateTime, WeekdayFollowsFromTheDate) {
  EXPECT_EQ(weekdayOf(DateTime{2026, 12, 8}), 2);  // a Tuesday
  EXPECT_EQ(weekdayOf(DateTime{2000, 2, 29}), 2);
  EXPECT_EQ(weekdayOf(DateTime{2000, 3, 1}), 3);
  EXPECT_EQ(weekdayOf(DateTime{1900, 1, 1}), 1);
  EXPECT_EQ(weekdayOf(DateTime{2100, 12, 31}), 5);
  EXPECT_EQ(weekdayOf(DateTime{1899, 12, 30}), 6);  // the empty date
}
