#include "base/command_line.h"

#include <windows.h>

#include <atomic>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

constexpr wchar_t kSwitchTerminator[] = L"--";
constexpr wchar_t kSwitchValueSeparator = L'=';

std::atomic<CommandLine*> g_current_process_command_line{nullptr};

bool IsWhitespace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f';
}

std::wstring_view TrimWhitespace(std::wstring_view text) {
  while (!text.empty() && IsWhitespace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsWhitespace(text.back()))
    text.remove_suffix(1);
  return text;
}

size_t GetSwitchPrefixLength(std::wstring_view argument) {
  if (argument.starts_with(L"--"))
    return 2;
  if (argument.starts_with(L"-") || argument.starts_with(L"/"))
    return 1;
  return 0;
}

// A single dash before a digit is a negative number, not a switch; "--5" and "/5" remain
// switches, so that every switch name written as "--name" reads back as a switch.
bool IsNegativeNumber(std::wstring_view argument) {
  return argument.size() >= 2 && argument[0] == L'-' && argument[1] >= L'0' &&
         argument[1] <= L'9';
}

// Splits "--name=value" into its lower-case name and its value.
bool ParseSwitch(std::wstring_view argument, std::string* name, std::wstring* value) {
  const size_t prefix_length = GetSwitchPrefixLength(argument);
  if (prefix_length == 0 || IsNegativeNumber(argument))
    return false;
  std::wstring_view body = argument.substr(prefix_length);
  const size_t separator = body.find(kSwitchValueSeparator);
  std::wstring_view switch_name = body.substr(0, separator);
  if (switch_name.empty())
    return false;
  *name = ToLowerAscii(Utf16ToUtf8(switch_name));
  value->assign(separator == std::wstring_view::npos ? std::wstring_view()
                                                     : body.substr(separator + 1));
  return true;
}

// Whether a loose argument written as it is would not come back as a loose argument.
bool NeedsTerminatorBefore(std::wstring_view argument) {
  std::string name;
  std::wstring value;
  return argument == kSwitchTerminator || ParseSwitch(argument, &name, &value);
}

// Characters that end an unquoted argument, or that trimming the whole text would take
// from the first or last one.
constexpr wchar_t kCharactersToQuote[] = L" \t\n\v\f\r\"";

// Quotes one argument so that the system's parser gives it back unchanged: backslashes are
// doubled only where they precede a quote or the closing quote.
std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(kCharactersToQuote) == std::wstring_view::npos)
    return std::wstring(argument);
  std::wstring quoted = L"\"";
  for (size_t i = 0; i < argument.size(); ++i) {
    size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
      quoted.push_back(L'"');
    } else {
      quoted.append(backslashes, L'\\');
      quoted.push_back(argument[i]);
    }
  }
  quoted.push_back(L'"');
  return quoted;
}

// The program is parsed without escapes, up to the closing quote or the first white space.
// An empty program is written as "" so that the first switch does not take its place.
std::wstring QuoteProgram(const std::wstring& program) {
  if (!program.empty() && program.find_first_of(kCharactersToQuote) == std::wstring::npos)
    return program;
  return L"\"" + program + L"\"";
}

std::wstring FormatSwitch(const std::string& name, const std::wstring& value) {
  std::wstring text = L"--" + Utf8ToUtf16(name);
  if (!value.empty()) {
    text.push_back(kSwitchValueSeparator);
    text.append(value);
  }
  return text;
}

bool IsArgumentSeparator(wchar_t c) {
  return c == L' ' || c == L'\t';
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view text) {
  std::vector<std::wstring> arguments;
  if (text.empty())
    return arguments;
  size_t i = 0;
  // The program: up to the closing quote or the first space or tab, without escapes.
  std::wstring program;
  if (text[i] == L'"') {
    for (++i; i < text.size() && text[i] != L'"'; ++i)
      program.push_back(text[i]);
    if (i < text.size())
      ++i;
  } else {
    for (; i < text.size() && !IsArgumentSeparator(text[i]); ++i)
      program.push_back(text[i]);
  }
  arguments.push_back(std::move(program));
  while (i < text.size() && IsArgumentSeparator(text[i]))
    ++i;
  if (i == text.size())
    return arguments;

  // The other arguments: 2n backslashes and a quote give n backslashes and open or close a
  // quoted part, 2n+1 give n backslashes and a literal quote; other backslashes are
  // literal. Of consecutive quotes, every third one is a literal quote.
  arguments.emplace_back();
  int quotes = 0;  // 1 inside a quoted part.
  size_t backslashes = 0;
  while (i < text.size()) {
    std::wstring& argument = arguments.back();
    const wchar_t c = text[i];
    if (IsArgumentSeparator(c) && quotes == 0) {
      backslashes = 0;
      while (i < text.size() && IsArgumentSeparator(text[i]))
        ++i;
      if (i < text.size())
        arguments.emplace_back();
    } else if (c == L'\\') {
      argument.push_back(c);
      ++backslashes;
      ++i;
    } else if (c == L'"') {
      argument.resize(argument.size() - (backslashes + 1) / 2);
      if (backslashes % 2 == 0)
        ++quotes;
      else
        argument.push_back(L'"');
      backslashes = 0;
      for (++i; i < text.size() && text[i] == L'"'; ++i) {
        if (++quotes == 3) {
          argument.push_back(L'"');
          quotes = 0;
        }
      }
      if (quotes == 2)
        quotes = 0;
    } else {
      argument.push_back(c);
      backslashes = 0;
      ++i;
    }
  }
  return arguments;
}

CommandLine::CommandLine(const FilePath& program) {
  SetProgram(program);
}

// static
CommandLine CommandLine::FromString(std::wstring_view command_line) {
  CommandLine result;
  const std::wstring text(TrimWhitespace(command_line));
  if (text.empty())
    return result;
  std::vector<std::wstring> arguments = SplitCommandLine(text);
  result.SetProgram(FilePath(arguments.front()));
  arguments.erase(arguments.begin());
  result.ParseArguments(arguments);
  return result;
}

// static
bool CommandLine::InitForCurrentProcess() {
  if (g_current_process_command_line.load(std::memory_order_acquire))
    return false;
  CommandLine* created = new CommandLine(FromString(::GetCommandLineW()));
  CommandLine* expected = nullptr;
  if (!g_current_process_command_line.compare_exchange_strong(expected, created,
                                                              std::memory_order_acq_rel)) {
    delete created;
    return false;
  }
  return true;
}

// static
CommandLine* CommandLine::ForCurrentProcess() {
  return g_current_process_command_line.load(std::memory_order_acquire);
}

void CommandLine::SetProgram(const FilePath& program) {
  program_ = FilePath(TrimWhitespace(program.value()));
}

void CommandLine::ParseArguments(const std::vector<std::wstring>& arguments) {
  bool parse_switches = true;
  for (const std::wstring& argument : arguments) {
    if (parse_switches && argument == kSwitchTerminator) {
      parse_switches = false;
      continue;
    }
    std::string name;
    std::wstring value;
    if (parse_switches && ParseSwitch(argument, &name, &value))
      AppendSwitchNative(name, value);
    else
      args_.push_back(argument);
  }
}

const std::wstring* CommandLine::FindSwitchValue(std::string_view name) const {
  const std::string key = ToLowerAscii(name);
  for (const auto& entry : switches_) {
    if (entry.first == key)
      return &entry.second;
  }
  return nullptr;
}

bool CommandLine::HasSwitch(std::string_view name) const {
  return FindSwitchValue(name) != nullptr;
}

std::wstring CommandLine::GetSwitchValueNative(std::string_view name) const {
  const std::wstring* value = FindSwitchValue(name);
  return value ? *value : std::wstring();
}

std::string CommandLine::GetSwitchValueASCII(std::string_view name) const {
  const std::wstring value = GetSwitchValueNative(name);
  // ASCII text reads the same in UTF-8.
  return IsStringAscii(value) ? Utf16ToUtf8(value) : std::string();
}

FilePath CommandLine::GetSwitchValuePath(std::string_view name) const {
  std::wstring value = GetSwitchValueNative(name);
  const size_t nul = value.find(L'\0');
  if (nul != std::wstring::npos)
    value.resize(nul);
  return FilePath(value);
}

void CommandLine::AppendSwitch(std::string_view name) {
  AppendSwitchNative(name, std::wstring_view());
}

void CommandLine::AppendSwitchASCII(std::string_view name, std::string_view value) {
  AppendSwitchNative(name, AsciiToUtf16(value));
}

void CommandLine::AppendSwitchNative(std::string_view name, std::wstring_view value) {
  if (name.empty() || name.find(kSwitchValueSeparator) != std::string_view::npos) {
    LOG(ERROR) << "Switch name \"" << name << "\" refused: it would not read back";
    return;
  }
  const std::string key = ToLowerAscii(name);
  for (auto& entry : switches_) {
    if (entry.first == key) {
      entry.second.assign(value);
      return;
    }
  }
  switches_.emplace_back(key, std::wstring(value));
}

void CommandLine::AppendSwitchPath(std::string_view name, const FilePath& path) {
  AppendSwitchNative(name, path.value());
}

void CommandLine::AppendArg(std::string_view argument) {
  args_.push_back(Utf8ToUtf16(argument));
}

void CommandLine::AppendArgNative(std::wstring_view argument) {
  args_.emplace_back(argument);
}

void CommandLine::CopySwitchesFrom(const CommandLine& source,
                                   const char* const names[],
                                   size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const std::wstring* value = source.FindSwitchValue(names[i]);
    if (value)
      AppendSwitchNative(names[i], *value);
  }
}

void CommandLine::AppendArguments(const CommandLine& other, bool include_program) {
  if (include_program)
    SetProgram(other.GetProgram());
  for (const auto& entry : other.switches_)
    AppendSwitchNative(entry.first, entry.second);
  for (const std::wstring& argument : other.args_)
    args_.push_back(argument);
}

std::vector<std::wstring> CommandLine::GetArgv() const {
  std::vector<std::wstring> argv;
  argv.reserve(1 + switches_.size() + args_.size());
  argv.push_back(program_.value());
  for (const auto& entry : switches_)
    argv.push_back(FormatSwitch(entry.first, entry.second));
  argv.insert(argv.end(), args_.begin(), args_.end());
  return argv;
}

std::wstring CommandLine::GetCommandLineString() const {
  const std::wstring arguments = GetArgumentsString();
  const std::wstring program = QuoteProgram(program_.value());
  return arguments.empty() ? program : program + L" " + arguments;
}

std::wstring CommandLine::GetArgumentsString() const {
  std::wstring text;
  auto append = [&text](const std::wstring& part) {
    if (!text.empty())
      text.push_back(L' ');
    text.append(part);
  };
  for (const auto& entry : switches_)
    append(QuoteArgument(FormatSwitch(entry.first, entry.second)));
  bool terminated = false;
  for (const std::wstring& argument : args_) {
    if (!terminated && NeedsTerminatorBefore(argument)) {
      append(std::wstring(kSwitchTerminator));
      terminated = true;
    }
    append(QuoteArgument(argument));
  }
  return text;
}

}  // namespace base
