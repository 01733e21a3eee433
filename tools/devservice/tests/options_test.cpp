#include "options.h"

#include <gtest/gtest.h>

namespace corvel::devservice {
namespace {

TEST(Options, DefaultsMatchTheClientsShippedConfiguration) {
  const ParsedOptions parsed = ParseOptions({});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  EXPECT_EQ(parsed.options->host, "127.0.0.1");
  EXPECT_EQ(parsed.options->accountPort, 3905);
  EXPECT_EQ(parsed.options->natPort, 10000);
  EXPECT_EQ(parsed.options->controlPort, 3906);
  EXPECT_EQ(parsed.options->natType, 120);
  EXPECT_EQ(parsed.options->callbackIdDelayMs, 200);
  EXPECT_EQ(parsed.options->accountsFile, "");
  EXPECT_FALSE(parsed.options->quiet);
}

TEST(Options, ReadsEveryOption) {
  const ParsedOptions parsed =
      ParseOptions({"--host", "0.0.0.0", "--account-port", "0", "--nat-port", "65535",
                    "--control-port", "7", "--nat-type", "96", "--accounts", "/tmp/a.txt",
                    "--callback-id-delay-ms", "0", "--ports-file", "/tmp/p", "--quiet"});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  EXPECT_EQ(parsed.options->host, "0.0.0.0");
  EXPECT_EQ(parsed.options->accountPort, 0);
  EXPECT_EQ(parsed.options->natPort, 65535);
  EXPECT_EQ(parsed.options->controlPort, 7);
  EXPECT_EQ(parsed.options->natType, 96);
  EXPECT_EQ(parsed.options->accountsFile, "/tmp/a.txt");
  EXPECT_EQ(parsed.options->callbackIdDelayMs, 0);
  EXPECT_EQ(parsed.options->portsFile, "/tmp/p");
  EXPECT_TRUE(parsed.options->quiet);
}

TEST(Options, RejectsBadValues) {
  const std::vector<std::vector<std::string>> bad = {
      {"--host", "localhost"},   {"--account-port", "65536"}, {"--nat-port", "-1"},
      {"--control-port", "12x"}, {"--nat-type", "128"},       {"--callback-id-delay-ms", "-5"},
      {"--account-port"},        {"--colour", "blue"},        {"stray"},
  };
  for (const auto& args : bad) {
    const ParsedOptions parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options.has_value()) << args[0];
    EXPECT_FALSE(parsed.error.empty()) << args[0];
  }
  EXPECT_TRUE(ParseOptions({"--help"}).help);
}

TEST(Options, DefaultAccountsFileSitsNextToTheRunningBinary) {
  const std::string path = DefaultAccountsPath();
  EXPECT_TRUE(path.ends_with("/accounts.txt")) << path;
  EXPECT_EQ(path.front(), '/');
}

}  // namespace
}  // namespace corvel::devservice
