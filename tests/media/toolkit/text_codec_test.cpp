#include "media/toolkit/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace corvel {
namespace {

// GBK: 中 D6 D0, 文 CE C4; UTF-8: 中 E4 B8 AD, 文 E6 96 87.
constexpr std::string_view kChineseUtf8 =
    "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB5\x8B\xE8\xAF\x95"
    "abc";

struct Utf8Case {
  const char* name;
  std::string_view bytes;
  bool valid;
};

TEST(TextCodecTest, IsValidUtf8) {
  const Utf8Case cases[] = {
      {"empty", "", true},
      {"ascii", "abc", true},
      {"chinese", kChineseUtf8, true},
      {"four bytes", "\xF0\x9F\x98\x80", true},
      {"overlong two bytes", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"overlong four bytes", "\xF0\x80\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"truncated", "\xE4\xB8", false},
      {"truncated after text", "ab\xE4", false},
      {"lone continuation", "\x80", false},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.name;
  }
}

TEST(TextCodecTest, GbkRoundTrip) {
  const std::string gbk = Utf8ToGbk(kChineseUtf8);
  ASSERT_EQ(gbk.size(), 11u);  // four 2-byte characters and three ASCII ones
  EXPECT_EQ(static_cast<unsigned char>(gbk[0]), 0xD6);
  EXPECT_EQ(static_cast<unsigned char>(gbk[1]), 0xD0);
  EXPECT_EQ(gbk.substr(8), "abc");
  EXPECT_EQ(GbkToUtf8(gbk), kChineseUtf8);
}

TEST(TextCodecTest, GbkToUtf8DropsLeadByteAtEnd) {
  EXPECT_EQ(GbkToUtf8("a\xD6"), "a");
  EXPECT_EQ(GbkToUtf8("\xD6\xD0\xCE"), "\xE4\xB8\xAD");
}

TEST(TextCodecTest, Utf8ToGbkReplacesWhatGbkCannotHold) {
  // U+1F600 has no GBK form.
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                      "b"),
            "a?b");
}

struct CutCase {
  std::size_t maxBytes;
  std::size_t expectedLength;
};

TEST(TextCodecTest, CutGbkNeverSplitsACharacter) {
  // 中 文 a b 测: 2 + 2 + 1 + 1 + 2 bytes.
  const std::string gbk =
      "\xD6\xD0\xCE\xC4"
      "ab"
      "\xB2\xE2";
  const CutCase cases[] = {{0, 0}, {1, 0}, {2, 2}, {3, 2}, {4, 4},
                           {5, 5}, {6, 6}, {7, 6}, {8, 8}, {100, 8}};
  for (const CutCase& c : cases) {
    const std::string_view cut = CutGbk(gbk, c.maxBytes);
    EXPECT_EQ(cut.size(), c.expectedLength) << "maxBytes " << c.maxBytes;
    EXPECT_EQ(cut, std::string_view(gbk).substr(0, cut.size()));
  }
  // A lead byte with its trail missing at the end is not a whole character.
  EXPECT_EQ(CutGbk("a\xD6", 2), "a");
}

TEST(TextCodecTest, CutUtf8NeverSplitsACharacter) {
  // 中 a 文: 3 + 1 + 3 bytes.
  const std::string utf8 =
      "\xE4\xB8\xAD"
      "a"
      "\xE6\x96\x87";
  const CutCase cases[] = {{0, 0}, {1, 0}, {2, 0}, {3, 3}, {4, 4}, {5, 4}, {6, 4}, {7, 7}, {10, 7}};
  for (const CutCase& c : cases) {
    const std::string_view cut = CutUtf8(utf8, c.maxBytes);
    EXPECT_EQ(cut.size(), c.expectedLength) << "maxBytes " << c.maxBytes;
    EXPECT_TRUE(IsValidUtf8(cut)) << "maxBytes " << c.maxBytes;
  }
}

TEST(TextCodecTest, CutUtf8ToGbkWidthCountsGbkBytes) {
  // 中 a 文 take 2 + 1 + 2 GBK bytes; the cut is measured in UTF-8 bytes of the prefix.
  const std::string utf8 =
      "\xE4\xB8\xAD"
      "a"
      "\xE6\x96\x87";
  const CutCase cases[] = {{0, 0}, {1, 0}, {2, 3}, {3, 4}, {4, 4}, {5, 7}, {50, 7}};
  for (const CutCase& c : cases) {
    const std::string_view cut = CutUtf8ToGbkWidth(utf8, c.maxBytes);
    EXPECT_EQ(cut.size(), c.expectedLength) << "maxBytes " << c.maxBytes;
    EXPECT_LE(Utf8ToGbk(cut).size(), c.maxBytes) << "maxBytes " << c.maxBytes;
  }
}

TEST(TextCodecTest, GbkFieldPadsAndCutsAtBoundary) {
  struct FieldCase {
    std::string_view utf8;
    std::size_t width;
    char pad;
    std::string expected;
  };
  const FieldCase cases[] = {
      {"\xE4\xB8\xAD"
       "a",
       5, ' ',
       "\xD6\xD0"
       "a  "},
      {"\xE4\xB8\xAD\xE6\x96\x87", 3, '*', "\xD6\xD0*"},
      {"abcdef", 3, ' ', "abc"},
      {"", 4, '\0', std::string(4, '\0')},
      {"abc", 0, ' ', ""},
  };
  for (const FieldCase& c : cases) {
    const std::string field = GbkField(c.utf8, c.width, c.pad);
    EXPECT_EQ(field.size(), c.width);
    EXPECT_EQ(field, c.expected) << "width " << c.width;
  }
}

}  // namespace
}  // namespace corvel
