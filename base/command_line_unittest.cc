#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/win/scoped_local_alloc.h"
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
  // The first bare "--" is used up; a later one is an argument like any other.
  const CommandLine cl = CommandLine::FromString(L"p.exe --a -- --b -- /c");
  EXPECT_TRUE(cl.HasSwitch("a"));
  EXPECT_FALSE(cl.HasSwitch("b"));
  EXPECT_FALSE(cl.HasSwitch("c"));
  const std::vector<std::wstring> expected = {L"--b", L"--", L"/c"};
  EXPECT_EQ(expected, cl.GetArgs());
}

TEST(CommandLineTest, BarePrefixesAndNegativeNumbersAreArguments) {
  const CommandLine cl = CommandLine::FromString(L"p.exe - / --=x -5 -0.5=1 --7 /8");
  const std::vector<std::wstring> expected = {L"-", L"/", L"--=x", L"-5", L"-0.5=1"};
  EXPECT_EQ(expected, cl.GetArgs());
  // With two dashes or a slash a digit starts a switch name.
  EXPECT_TRUE(cl.HasSwitch("7"));
  EXPECT_TRUE(cl.HasSwitch("8"));
  EXPECT_FALSE(cl.HasSwitch("5"));
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

void ExpectRoundTrip(const CommandLine& cl) {
  const std::wstring text = cl.GetCommandLineString();
  const CommandLine parsed = CommandLine::FromString(text);
  EXPECT_EQ(cl.GetProgram().value(), parsed.GetProgram().value()) << text;
  EXPECT_EQ(cl.GetSwitches(), parsed.GetSwitches()) << text;
  EXPECT_EQ(cl.GetArgs(), parsed.GetArgs()) << text;
  // Writing the parsed line again gives the same text.
  EXPECT_EQ(text, parsed.GetCommandLineString());
}

TEST(CommandLineTest, CommandLineStringParsesBackExactlyWhateverItHolds) {
  const std::wstring hostile[] = {
      L"",        L" ",          L"--",         L"-",           L"/",
      L"--x",     L"-x=1",       L"/x",         L"-5",          L"--5",
      L"a b",     L"\"",         L"\"\"",       L"a\"b",        L"\\",
      L"C:\\d\\", L"C:\\my d\\", L"x\\\\\"y",   L"\\\"",         L"=",
      L"a=b=c",   L" lead",      L"trail ",     L"tab\tend\t",  L"form\f",
      L"line\n",  L"cr\r",       L"v\v",        L"\u00e9\u4e2d",  L"%PATH%",
      L"^&|<>",   L"'single'",   L"--=",        L"-- ",         L" --",
  };
  const std::wstring programs[] = {L"C:\\Program Files\\Tavro\\installer.exe",
                                   L"C:\\dir\\installer.exe", L"", L"C:\\trail\\"};
  for (const std::wstring& program : programs) {
    // Each hostile value as a switch value, and as a loose argument alone, first and last.
    for (const std::wstring& value : hostile) {
      CommandLine as_value(FilePath{program});
      as_value.AppendSwitch("flag");
      as_value.AppendSwitchNative("value", value);
      ExpectRoundTrip(as_value);

      CommandLine alone(FilePath{program});
      alone.AppendArgNative(value);
      ExpectRoundTrip(alone);

      CommandLine around(FilePath{program});
      around.AppendSwitchNative("s", value);
      around.AppendArgNative(value);
      around.AppendArgNative(L"plain");
      around.AppendArgNative(value);
      ExpectRoundTrip(around);
    }
    // All of them at once.
    CommandLine all(FilePath{program});
    for (size_t i = 0; i < std::size(hostile); ++i) {
      all.AppendSwitchNative(std::to_string(i), hostile[i]);
      all.AppendArgNative(hostile[i]);
    }
    ExpectRoundTrip(all);
  }

  // Plain lines are written as they are, without a terminator.
  CommandLine plain(FilePath(L"C:\\p.exe"));
  plain.AppendSwitch("silent");
  plain.AppendArgNative(L"-5");
  plain.AppendArgNative(L"C:\\folder");
  EXPECT_EQ(L"C:\\p.exe --silent -5 C:\\folder", plain.GetCommandLineString());
}

TEST(CommandLineTest, SwitchNamesThatCannotBeWrittenBackAreRefused) {
  CommandLine cl(FilePath(L"p.exe"));
  cl.AppendSwitch("");
  cl.AppendSwitchASCII("a=b", "c");
  EXPECT_TRUE(cl.GetSwitches().empty());
  cl.AppendSwitchASCII("Mixed Case \"name\"", "v");
  EXPECT_EQ(L"v", cl.GetSwitchValueNative("mixed case \"name\""));
  ExpectRoundTrip(cl);
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

std::vector<std::wstring> SplitBySystem(const std::wstring& text) {
  int count = 0;
  const win::ScopedLocalAllocTyped<LPWSTR> argv(::CommandLineToArgvW(text.c_str(), &count));
  return argv.IsValid() ? std::vector<std::wstring>(argv.Get(), argv.Get() + count)
              : std::vector<std::wstring>();
}

// Every text made of the characters that matter to the rules splits as the system splits it.
TEST(CommandLineTest, SplitsAsTheSystemDoes) {
  const std::wstring texts[] = {
      L"p", L"\"p q\" a", L"\"p\"q r", L"\"p", L" p a", L"p \"\"", L"p a\\\\\"b c\"",
      L"p a\\\\\\\"b", L"p \"a\"\"b\"", L"p \"\"\"a\"\"\"", L"p a\\b\\ c", L"p\t a\t\t",
      L"p \u00e9\"\u4e2d \"x"};
  for (const std::wstring& text : texts)
    EXPECT_EQ(SplitBySystem(text), SplitCommandLine(text)) << text;

  const wchar_t alphabet[] = L"a \t\"\\";
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    std::wstring text;
    const size_t length = 1 + random() % 12;
    for (size_t i = 0; i < length; ++i)
      text.push_back(alphabet[random() % 5]);
    ASSERT_EQ(SplitBySystem(text), SplitCommandLine(text)) << "[" << text << "]";
  }
  EXPECT_TRUE(SplitCommandLine(L"").empty());
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
