#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_

#include <stddef.h>

#include <string>

namespace installer {

// One public switch of the help: its name, the hint of its value (or null), a description
// and a default text, both printf formats with at most one "%s" for the product name (the
// default text may be null).
struct SwitchHelp {
  const char* name;
  const char* value_hint;
  const char* description;
  const char* default_text;
};

constexpr size_t kSwitchHelpCount = 16;

// The 16 public switches, in the order the help lists them.
const SwitchHelp* GetSwitchHelpTable();

// Writes the value hints of the rows from "installfolder" on; run once at load time.
void FillSwitchHelpHints();

// printf-style formatting of |format| with its one "%s" filled with the product name,
// lowered to ASCII lower case first when |lower_case| is set.
std::string FormatWithProductName(const char* format, bool lower_case);

// The name of the installer's working folder: the product name and " Installer".
std::wstring GetInstallerFolderName();

// The help text: the product line, every switch with its hint, description and default,
// the available languages and the installer features.
std::string GetHelpText();

// Writes |line| and a line end to the process's standard error when it has one (a console,
// a pipe or a file): what a user who typed the command is to read besides the log.
void SayOnStandardError(const std::string& line);

// Writes the help to a console. A process whose standard output already goes somewhere (a
// console, a pipe or a file) writes it there; otherwise it opens a console of its own and
// waits for a key ("PAUSE") so that the text can be read.
void PrintHelp();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_
