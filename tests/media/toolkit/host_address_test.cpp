#include "media/toolkit/host_address.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace corvel {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

bool IsLoopbackRange(uint32_t address) {
  return (address >> 24) == 127;
}

TEST(HostAddressTest, ListsUpInterfacesLoopbackLastNoDuplicates) {
  const std::vector<uint32_t> addresses = HostIPv4Addresses();
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(std::set<uint32_t>(addresses.begin(), addresses.end()).size(), addresses.size());
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kLoopback), addresses.end());
  const auto firstLoopback = std::find_if(addresses.begin(), addresses.end(), IsLoopbackRange);
  EXPECT_TRUE(std::all_of(firstLoopback, addresses.end(), IsLoopbackRange))
      << "a non-loopback address after a loopback one";
}

TEST(HostAddressTest, CheckLocalAddressKeepsLocalAndReplacesOthers) {
  const std::vector<uint32_t> addresses = HostIPv4Addresses();
  ASSERT_FALSE(addresses.empty());
  const std::string first = Ipv4ToText(addresses.front());
  ASSERT_TRUE(std::find(addresses.begin(), addresses.end(), 0x01020304u) == addresses.end());
  struct CheckCase {
    std::string address;
    int result;
  };
  const CheckCase cases[] = {
      {"127.0.0.1", 0},  {first, 0},     {Ipv4ToText(addresses.back()), 0},
      {"", 1},           {"1.2.3.4", 1}, {"garbage", 1},
      {"127.0.0.1 ", 1},
  };
  for (const CheckCase& c : cases) {
    std::string address = c.address;
    EXPECT_EQ(CheckLocalAddress(address), c.result) << '"' << c.address << '"';
    EXPECT_EQ(address, c.result == 0 ? c.address : first);
  }
}

TEST(HostAddressTest, TextConversions) {
  struct GoodCase {
    const char* text;
    uint32_t address;
  };
  const GoodCase good[] = {{"127.0.0.1", kLoopback},
                           {"0.0.0.0", 0u},
                           {"255.255.255.255", 0xFFFFFFFFu},
                           {"10.1.2.3", 0x0A010203u},
                           {"192.0.2.200", 0xC00002C8u}};
  for (const GoodCase& c : good) {
    EXPECT_EQ(Ipv4FromText(c.text), c.address) << c.text;
    EXPECT_EQ(Ipv4ToText(c.address), c.text);
  }
  using namespace std::string_view_literals;
  const std::string_view bad[] = {"",
                                  "1.2.3",
                                  "1.2.3.4.5",
                                  "256.0.0.1",
                                  "01.2.3.4",
                                  " 1.2.3.4",
                                  "1.2.3.4 ",
                                  "a.b.c.d",
                                  "127.1",
                                  "1.2.3.4\0"sv,
                                  "1.2.3.4\0x"sv,
                                  "1111.2.3.4",
                                  "100.100.100.100.1"};
  for (const std::string_view text : bad) {
    EXPECT_EQ(Ipv4FromText(text), std::nullopt) << '"' << std::string(text) << '"';
  }
}

}  // namespace
}  // namespace corvel
