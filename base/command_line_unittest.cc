#include "base/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(CommandLineTest, ParsesPrefixesValuesAndCase) {
  const CommandLine cl = CommandLine::FromString(
      L"C:\\x\\installer.exe --Language=de -silent /InstallFolder=C:\\T=1 loose");
  EXPECT_EQ(L"C:\\x\\installer.exe", cl.GetProgram().value());
  EXPECT_TRUE(cl.HasSwitch("language"));
  EXPECT_TRUE(cl.HasSwitch("LANGUAGE"));
  EXPECT_EQ(L"de", cl.GetSwitchValueNative("language"));
  EXPECT_TRUE(cl.HasSwitch("silent"));
  EXPECT_EQ(L"", cl.GetSwitchValueNative("silent"));
  // The value is everything after the first "=".
  EXPECT_EQ(L"C:\\T=1", cl.GetSwitchValueNative("installfolder"));
  ASSERT_EQ(1u, cl.GetArgs().size());
  EXPECT_EQ(L"loose", cl.GetArgs()[0]);
  EXPECT_FALSE(cl.HasSwitch("loose"));
}

TEST(CommandLineTest, QuotesAndBackslashes) {
  // Backslashes are literal unless they precede a quote; 2n+1 backslashes before a quote
  // give n backslashes and a literal quote.
  const CommandLine cl = CommandLine::FromString(
      L"\"C:\\Program Files\\installer.exe\" \"--installfolder=C:\\Program Files\\T\\\\\" "
      L"--label=\"say \\\"hi\\\"\" \"a b\" c\\\\d");
  EXPECT_EQ(L"C:\\Program Files\\installer.exe", cl.GetProgram().value());
  EXPECT_EQ(L"C:\\Program Files\\T\\", cl.GetSwitchValueNative("installfolder"));
  EXPECT_EQ(L"say \"hi\"", cl.GetSwitchValueNative("label"));
  ASSERT_EQ(2u, cl.GetArgs().size());
  EXPECT_EQ(L"a b", cl.GetArgs()[0]);
  EXPECT_EQ(L"c\\\\d", cl.GetArgs()[1]);
}

TEST(CommandLineTest, RepeatedSwitchKeepsPlaceAndTakesLastValue) {
  CommandLine cl = CommandLine::FromString(L"p.exe --a=1 --b=2 --A=3");
  ASSERT_EQ(2u, cl.GetSwitches().size());
  EXPECT_EQ("a", cl.GetSwitches()[0].first);
  EXPECT_EQ(L"3", cl.GetSwitches()[0].second);
  cl.AppendSwitchASCII("B", "4");
  EXPECT_EQ(L"4", cl.GetSwitchValueNative("b"));
  EXPECT_EQ(2u, cl.GetSwitches().size());
}

TEST(CommandLineTest, DoubleDashEndsSwitchParsing) {
  const CommandLine cl = CommandLine::FromString(L"p.exe --a -- --b /c");
  EXPECT_TRUE(cl.HasSwitch("a"));
  EXPECT_FALSE(cl.HasSwitch("b"));
  EXPECT_FALSE(cl.HasSwitch("c"));
  const std::vector<std::wstring> expected = {L"--", L"--b", L"/c"};
  EXPECT_EQ(expected, cl.GetArgs());
}

TEST(CommandLineTest, BarePrefixesAreArguments) {
  const CommandLine cl = CommandLine::FromString(L"p.exe - / --=x");
  EXPECT_TRUE(cl.GetSwitches().empty());
  EXPECT_EQ(3u, cl.GetArgs().size());
}

TEST(CommandLineTest, ValueAccessors) {
  CommandLine cl(FilePath(L"  C:\\p.exe \t"));
  EXPECT_EQ(L"C:\\p.exe", cl.GetProgram().value());
  cl.AppendSwitchNative("wide", L"gr\u00fcn");
  cl.AppendSwitchNative("nul", std::wstring(L"C:\\a\0b", 6));
  EXPECT_EQ("", cl.GetSwitchValueASCII("wide"));
  EXPECT_EQ(L"gr\u00fcn", cl.GetSwitchValueNative("wide"));
  EXPECT_EQ(L"C:\\a", cl.GetSwitchValuePath("nul").value());
  EXPECT_EQ(L"", cl.GetSwitchValueNative("absent"));
  EXPECT_TRUE(cl.GetSwitchValuePath("absent").empty());
}

TEST(CommandLineTest, CommandLineStringParsesBackExactly) {
  CommandLine cl(FilePath(L"C:\\Program Files\\Tavro\\installer.exe"));
  cl.AppendSwitch("silent");
  cl.AppendSwitchNative("installfolder", L"C:\\Program Files\\Tavro\\");
  cl.AppendSwitchNative("quote", L"a \"b\" c\\\"");
  cl.AppendSwitchNative("tabs", L"x\ty");
  cl.AppendSwitchNative("trailing", L"C:\\dir\\\\");
  cl.AppendArgNative(L"loose arg\\");
  cl.AppendArgNative(L"");
  cl.AppendArgNative(L"-looks-like-switch");
  cl.AppendArgNative(L"/also");

  const CommandLine parsed = CommandLine::FromString(cl.GetCommandLineString());
  EXPECT_EQ(cl.GetProgram().value(), parsed.GetProgram().value());
  EXPECT_EQ(cl.GetSwitches(), parsed.GetSwitches());
  // A terminator went in front of the first argument that would read as a switch.
  const std::vector<std::wstring> expected_args = {L"loose arg\\", L"", L"--",
                                                   L"-looks-like-switch", L"/also"};
  EXPECT_EQ(expected_args, parsed.GetArgs());
  // Parsing the result again changes nothing.
  EXPECT_EQ(parsed.GetCommandLineString(),
            CommandLine::FromString(parsed.GetCommandLineString()).GetCommandLineString());
}

TEST(CommandLineTest, CopySwitchesAndAppendArguments) {
  const CommandLine source =
      CommandLine::FromString(L"src.exe --keep=1 --drop=2 --flag arg1");
  CommandLine target(FilePath(L"t.exe"));
  const char* const names[] = {"keep", "flag", "missing", "drop"};
  target.CopySwitchesFrom(source, names, 3);
  EXPECT_EQ(L"1", target.GetSwitchValueNative("keep"));
  EXPECT_TRUE(target.HasSwitch("flag"));
  EXPECT_FALSE(target.HasSwitch("missing"));
  EXPECT_FALSE(target.HasSwitch("drop"));

  CommandLine other(FilePath(L"t.exe"));
  other.AppendArguments(source, true);
  EXPECT_EQ(L"src.exe", other.GetProgram().value());
  EXPECT_EQ(3u, other.GetSwitches().size());
  const std::vector<std::wstring> argv = other.GetArgv();
  ASSERT_EQ(5u, argv.size());
  EXPECT_EQ(L"--keep=1", argv[1]);
  EXPECT_EQ(L"--flag", argv[3]);
  EXPECT_EQ(L"arg1", argv.back());
}

TEST(CommandLineTest, ProcessWideInstanceIsMadeOnce) {
  CommandLine::InitForCurrentProcess();
  CommandLine* first = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, first);
  EXPECT_FALSE(CommandLine::InitForCurrentProcess());
  EXPECT_EQ(first, CommandLine::ForCurrentProcess());
}

}  // namespace
}  // namespace base
