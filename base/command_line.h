#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <stddef.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file_path.h"

namespace base {

// The program path, switches and loose arguments of a command line.
//
// Parsing follows the quoting rules of the Windows command line. An argument that starts
// with "--", "-" or "/" followed by a name is a switch; its value is what follows the first
// "=". Names are stored lower-case. Two forms are loose arguments although they start like a
// switch: a single "-" followed by a digit (a negative number such as "-5"), and a prefix
// with no name ("-", "/", "--=x"). The first bare "--" ends switch parsing and is dropped:
// everything after it, a further "--" included, is a loose argument.
//
// GetCommandLineString writes text that parses back to the same program, switches and
// arguments, whatever they hold, except what no command line can carry: a NUL character,
// and a quote in the program path (not a valid path character).
class CommandLine {
 public:
  // Switch names (UTF-8, lower-case) and values, in the order they were added.
  using Switches = std::vector<std::pair<std::string, std::wstring>>;

  // A command line whose program is |program| (white space trimmed at both ends).
  explicit CommandLine(const FilePath& program);

  // Parses a whole command-line text (program first).
  static CommandLine FromString(std::wstring_view command_line);

  // Makes the process-wide instance from the process's command-line text. Later calls
  // change nothing. Returns false when the instance already existed.
  static bool InitForCurrentProcess();
  // The process-wide instance; null before InitForCurrentProcess.
  static CommandLine* ForCurrentProcess();

  FilePath GetProgram() const { return program_; }
  void SetProgram(const FilePath& program);

  bool HasSwitch(std::string_view name) const;
  // Empty when the switch is absent or has no value.
  std::wstring GetSwitchValueNative(std::string_view name) const;
  // The value when it is pure ASCII, else empty.
  std::string GetSwitchValueASCII(std::string_view name) const;
  // The value as a path, cut at the first NUL.
  FilePath GetSwitchValuePath(std::string_view name) const;

  // A switch already present keeps its place and takes the new value. A name that could not
  // be written back (empty, or holding "=") is refused with an error log.
  void AppendSwitch(std::string_view name);
  void AppendSwitchASCII(std::string_view name, std::string_view value);
  void AppendSwitchNative(std::string_view name, std::wstring_view value);
  void AppendSwitchPath(std::string_view name, const FilePath& path);

  // Loose arguments (UTF-8 and UTF-16).
  void AppendArg(std::string_view argument);
  void AppendArgNative(std::wstring_view argument);

  // For each of the first |count| names present in |source|, appends that switch with the
  // source's value.
  void CopySwitchesFrom(const CommandLine& source, const char* const names[], size_t count);

  // Appends |other|'s switches and arguments, first taking its program when asked.
  void AppendArguments(const CommandLine& other, bool include_program);

  const Switches& GetSwitches() const { return switches_; }
  const std::vector<std::wstring>& GetArgs() const { return args_; }

  // The program, then each switch as "--name" or "--name=value", then the loose
  // arguments, in their stored order.
  std::vector<std::wstring> GetArgv() const;

  // The text handed to process creation: the program quoted as needed, then each switch
  // and argument, separated by single spaces, quoted so that parsing it gives back exactly
  // the same program, switches and arguments. A "--" goes in front of the first loose
  // argument that would otherwise read as a switch or as the end of the switches.
  std::wstring GetCommandLineString() const;
  // The same without the program: what the shell takes as the parameters of a program.
  std::wstring GetArgumentsString() const;

 private:
  CommandLine() = default;

  void ParseArguments(const std::vector<std::wstring>& arguments);
  const std::wstring* FindSwitchValue(std::string_view name) const;

  FilePath program_;
  Switches switches_;
  std::vector<std::wstring> args_;
};

// The arguments of a command-line text, the program first, split as the system's
// CommandLineToArgvW splits them (without loading the shell library for it). An empty text
// gives none.
std::vector<std::wstring> SplitCommandLine(std::wstring_view text);

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
