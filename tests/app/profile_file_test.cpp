#include "app/profile_file.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::TempFolder;
using testing::WriteFile;

struct StringCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  std::size_t bufferSize;
  const char* expected;
};

class ProfileStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ProfileStringTest, ReadsAsThePlatformCallDoes) {
  const StringCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "p.ini", c.file);
  EXPECT_EQ(ReadProfileString(folder / "p.ini", c.section, c.key, "dflt", c.bufferSize),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileStringTest,
    ::testing::Values(
        StringCase{"plain", "[SIP]\nsipHost=1.2.3.4\n", "SIP", "sipHost", 256, "1.2.3.4"},
        StringCase{"names_ignore_case", "[sip]\nSIPHOST=1.2.3.4\n", "SIP", "sipHost", 256,
                   "1.2.3.4"},
        StringCase{"trimmed", "  [ SIP ]  \n  sipHost  =   1.2.3.4  \r\n", "SIP", "sipHost", 256,
                   "1.2.3.4"},
        StringCase{"double_quotes", "[SIP]\nk=\"  a b \"\n", "SIP", "k", 256, "  a b "},
        StringCase{"single_quotes", "[SIP]\nk='x'\n", "SIP", "k", 256, "x"},
        StringCase{"unmatched_quote_kept", "[SIP]\nk=\"x\n", "SIP", "k", 256, "\"x"},
        StringCase{"comment_line", "[SIP]\n;k=commented\nk=real\n", "SIP", "k", 256, "real"},
        StringCase{"empty_value_is_empty", "[SIP]\nk=\n", "SIP", "k", 256, ""},
        StringCase{"missing_key", "[SIP]\nother=1\n", "SIP", "k", 256, "dflt"},
        StringCase{"missing_section", "[RTP]\nk=1\n", "SIP", "k", 256, "dflt"},
        StringCase{"key_in_other_section", "[RTP]\nk=1\n[SIP]\nj=2\n", "SIP", "k", 256, "dflt"},
        StringCase{"first_section_of_a_name", "[SIP]\nk=1\n[SIP]\nk=2\n", "SIP", "k", 256, "1"},
        StringCase{"first_key_of_a_name", "[SIP]\nk=1\nk=2\n", "SIP", "k", 256, "1"},
        StringCase{"value_with_equals", "[WEB]\nu=http://h/a?b=c\n", "WEB", "u", 256,
                   "http://h/a?b=c"},
        StringCase{"line_without_equals", "[SIP]\njunk\nk=v\n", "SIP", "k", 256, "v"},
        StringCase{"cut_to_buffer", "[UDP]\nLocal=0123456789\n", "UDP", "Local", 5, "0123"},
        StringCase{"cut_default_too", "", "UDP", "Local", 3, "df"},
        StringCase{"cut_at_character", "[SIP]\nk=a\xE4\xB8\xAD\xE6\x96\x87\n", "SIP", "k", 5,
                   "a\xE4\xB8\xAD"},
        StringCase{"utf8_bom", "\xEF\xBB\xBF[SIP]\nk=v\n", "SIP", "k", 256, "v"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ProfileString, MissingFileGivesTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(ReadProfileString("/nonexistent/corvel.ini", "SIP", "k", "value  ", 256), "value");
}

TEST(ProfileString, GbkFileIsReadAsGbk) {
  TempFolder folder;
  // "[SIP]\ncallRing=D:\声音\r.wav" with 声音 in GBK (C9 F9 D2 F4).
  WriteFile(folder / "p.ini", "[SIP]\r\ncallRing=D:\\\xC9\xF9\xD2\xF4\\r.wav\r\n");
  EXPECT_EQ(ReadProfileString(folder / "p.ini", "SIP", "callRing", "", 256),
            "D:\\\xE5\xA3\xB0\xE9\x9F\xB3\\r.wav");
}

TEST(ProfileString, BinaryJunkNeverCrashesAndYieldsDefaults) {
  TempFolder folder;
  std::string junk;
  unsigned state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    junk.push_back(static_cast<char>(state >> 24));
  }
  junk.insert(junk.begin() + 100, '\0');
  WriteFile(folder / "junk.ini", junk);
  EXPECT_EQ(ReadProfileString(folder / "junk.ini", "SIP", "sipHost", "none", 256), "none");
  EXPECT_EQ(ReadProfileInt(folder / "junk.ini", "SIP", "sipPort", 5060), 5060);
}

TEST(ProfileString, OverLongValueIsCutNotOverrun) {
  TempFolder folder;
  WriteFile(folder / "p.ini", "[WEB]\nu=" + std::string(100000, 'x') + "\n");
  EXPECT_EQ(ReadProfileString(folder / "p.ini", "WEB", "u", "", 1024), std::string(1023, 'x'));
}

struct IntCase {
  const char* value;  // nullptr: key absent
  int expected;
};

class ProfileIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ProfileIntTest, UsesTheLeadingDecimalNumber) {
  TempFolder folder;
  const IntCase& c = GetParam();
  WriteFile(folder / "p.ini",
            c.value == nullptr ? "[RTP]\n" : std::string("[RTP]\nrtpPort=") + c.value + "\n");
  EXPECT_EQ(ReadProfileInt(folder / "p.ini", "RTP", "rtpPort", 10000), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileIntTest,
                         ::testing::Values(IntCase{nullptr, 10000}, IntCase{"", 10000},
                                           IntCase{"12000", 12000}, IntCase{"12abc", 12},
                                           IntCase{"abc", 0}, IntCase{"-40", -40}, IntCase{"+7", 7},
                                           IntCase{"3.9", 3}, IntCase{"0x10", 0},
                                           IntCase{"\"42\"", 42},
                                           IntCase{"99999999999999", INT_MAX},
                                           IntCase{"-99999999999999", INT_MIN}));

}  // namespace
}  // namespace corvel
