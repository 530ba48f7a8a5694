// Reading the command line of zeps: the prefixes, case, skipped words, and
// which option wins.
#include "host/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace zep {
namespace {

CommandLineChoice Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"zeps"};
  argv.insert(argv.end(), args.begin(), args.end());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, SetupAndRemoveWithEitherPrefixInAnyCase) {
  for (const char* option : {"-setup", "/setup", "/SETUP", "-SeTuP"}) {
    EXPECT_EQ(CommandLineChoice::kSetup, Parse({option}).action) << option;
  }
  for (const char* option : {"-remove", "/Remove", "-REMOVE"}) {
    EXPECT_EQ(CommandLineChoice::kRemove, Parse({option}).action) << option;
  }
}

TEST(CommandLineTest, BareWordsAndUnknownOptionsAreSkipped) {
  EXPECT_EQ(CommandLineChoice::kNothing, Parse({}).action);
  for (const char* word : {"setup", "-install", "-", "--setup", "-setupx"}) {
    EXPECT_EQ(CommandLineChoice::kNothing, Parse({word}).action) << word;
  }
  EXPECT_EQ(CommandLineChoice::kSetup, Parse({"setup", "-x", "/setup"}).action);
}

TEST(CommandLineTest, RunModesMarkAndParsingGoesOn) {
  CommandLineChoice debug = Parse({"-debug"});
  EXPECT_EQ(CommandLineChoice::kRun, debug.action);
  EXPECT_FALSE(debug.service_mode);
  CommandLineChoice service = Parse({"/SERVICE"});
  EXPECT_EQ(CommandLineChoice::kRun, service.action);
  EXPECT_TRUE(service.service_mode);
  // Both: service mode wins, whatever the order.
  EXPECT_TRUE(Parse({"-debug", "-service"}).service_mode);
  EXPECT_TRUE(Parse({"-service", "-debug"}).service_mode);
  // A later setup still acts; it ends the parsing at once.
  EXPECT_EQ(CommandLineChoice::kSetup, Parse({"-debug", "-setup"}).action);
  EXPECT_EQ(CommandLineChoice::kRemove,
            Parse({"-remove", "-setup", "-debug"}).action);
}

TEST(CommandLineTest, NothingToRunEndsWithTheUsageAndExitCode1) {
  const char* none[] = {"zeps"};
  EXPECT_EQ(1, ZepsMain(1, none));
  const char* unknown[] = {"zeps", "-frobnicate"};
  EXPECT_EQ(1, ZepsMain(2, unknown));
  const char* bare[] = {"zeps", "debug"};
  EXPECT_EQ(1, ZepsMain(2, bare));
}

}  // namespace
}  // namespace zep
