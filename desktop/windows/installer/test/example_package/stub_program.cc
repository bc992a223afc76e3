// Stand-in for the programs of the example browser package that the installer starts but
// does not build: the browser ("tavro.exe"), "launcher.exe", a component installer
// ("<name>_installer.exe"), its self-extracting archive ("<name>_sfx.exe") and the pin
// helper ("installer_helper.exe", "installer_helper_64.exe"; run as "explorer.exe"). One
// program, copied under each name; what it does beyond recording depends on that name.
// It imports kernel32 only, so that it starts fast and behaves the same everywhere.
//
// Every run appends one UTF-8 line to "stub_invocations.log" in the folder named by the
// environment variable TAVRO_STUB_LOG_DIR, else in the program's own folder:
//   <file name> TAB <process id> TAB <working folder> TAB <command line> LF
// Exit code: TAVRO_STUB_EXIT_CODE_<NAME>, else the number in "<file name>.exit_code"
// beside the program, else 0. A non-zero code is returned before any work is done.
// Staying running: with TAVRO_STUB_HOLD_<NAME> naming an event, the program waits until
// that event is signalled (ten minutes at most), after recording.
// NAME is the file name without extension in upper case, other characters than letters
// and digits turned into '_' ("tavro.exe" -> TAVRO, "suite_installer.exe" ->
// SUITE_INSTALLER).
//
// A component installer answers "internal-version" with the build's internal version;
// "uninstall" removes "component.txt" from its own folder; "post-elevated-install-tasks"
// only records; any other run installs: it creates the folder of "installfolder", copies
// itself there and writes "component.txt" with its command line. A self-extracting
// archive copies itself beside itself as "<name>_installer.exe". With
// TAVRO_STUB_INTERNAL_VERSION or TAVRO_STUB_STREAM set, any program answers
// "internal-version" or "stream" with that value (a stub served as a package installer);
// with TAVRO_STUB_REPLACE_SELF_WITH naming a file, a stub asked for "internal-version" first
// tries to put that file in its own place.
// The pin helper, with TAVRO_STUB_PIN_FOLDER naming a folder, copies the shortcut it is
// given there (a shortcut already there stays).

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "desktop/windows/installer/host/host_handles.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"

#ifndef STUB_INTERNAL_VERSION
#error STUB_INTERNAL_VERSION must name the internal version of the build
#endif

namespace {

using installer::test::kStubExitCodeVariablePrefix;
using installer::test::kStubHoldVariablePrefix;
using installer::test::kStubInternalVersionVariable;
using installer::test::kStubLogFileName;
using installer::test::kStubLogFolderVariable;
using installer::test::kStubPinFolderVariable;
using installer::test::kStubReplaceSelfVariable;
using installer::test::kStubStreamVariable;
using installer::test::StubName;

constexpr DWORD kMaxHoldMs = 10 * 60 * 1000;
constexpr int kExitWorkFailed = 3;

// The host's owner of a kernel handle: the base library's would bring in more than kernel32.
using Handle = installer_host::HostHandle;

std::wstring GetEnv(const std::wstring& name) {
  wchar_t buffer[1024];
  const DWORD length = ::GetEnvironmentVariableW(name.c_str(), buffer, 1024);
  return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

std::string ToUtf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size : 0, '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                          nullptr, nullptr);
  }
  return result;
}

bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
  const size_t length = ::lstrlenW(suffix);
  return text.size() >= length &&
         ::CompareStringOrdinal(text.c_str() + text.size() - length, static_cast<int>(length),
                                suffix, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool WriteWholeFile(const std::wstring& path, const std::string& data, bool append) {
  const Handle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  DWORD written = 0;
  return file.Get() &&
         ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
         written == data.size();
}

bool WriteStandardOutput(const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(),
                     static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// The arguments after the program, split by the system's rules for command lines.
std::vector<std::wstring> SplitArguments(const wchar_t* text) {
  std::vector<std::wstring> arguments;
  bool first = true;
  while (*text) {
    while (*text == L' ' || *text == L'\t')
      ++text;
    if (!*text)
      break;
    std::wstring argument;
    bool quoted = false;
    while (*text && (quoted || (*text != L' ' && *text != L'\t'))) {
      size_t slashes = 0;
      while (text[slashes] == L'\\')
        ++slashes;
      if (text[slashes] == L'"') {
        argument.append(slashes / 2, L'\\');
        if (slashes % 2)
          argument += L'"';
        else
          quoted = !quoted;
        text += slashes + 1;
      } else if (slashes) {
        argument.append(slashes, L'\\');
        text += slashes;
      } else {
        argument += *text++;
      }
    }
    if (!first)
      arguments.push_back(argument);
    first = false;
  }
  return arguments;
}

// Whether "--name", "-name" or "/name" (with or without "=value") was given; its value.
bool FindSwitch(const std::vector<std::wstring>& arguments,
                const wchar_t* name,
                std::wstring* value) {
  const int name_length = ::lstrlenW(name);
  for (const std::wstring& argument : arguments) {
    const size_t start = argument.compare(0, 2, L"--") == 0                                    ? 2
                         : (!argument.empty() && (argument[0] == L'-' || argument[0] == L'/')) ? 1
                                                                                               : 0;
    if (start == 0 || argument.size() < start + name_length ||
        ::CompareStringOrdinal(argument.c_str() + start, name_length, name, name_length, TRUE) !=
            CSTR_EQUAL) {
      continue;
    }
    const wchar_t next = argument.c_str()[start + name_length];
    if (next != L'\0' && next != L'=')
      continue;
    if (value)
      *value = next == L'=' ? argument.substr(start + name_length + 1) : std::wstring();
    return true;
  }
  return false;
}

int ConfiguredExitCode(const std::wstring& env_name, const std::wstring& program) {
  std::wstring text = GetEnv(kStubExitCodeVariablePrefix + env_name);
  if (text.empty()) {
    const Handle file(::CreateFileW((program + L".exit_code").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[16] = {};
    DWORD read = 0;
    if (file.Get() && ::ReadFile(file.Get(), buffer, sizeof(buffer) - 1, &read, nullptr)) {
      for (DWORD i = 0; i < read; ++i)
        text += static_cast<wchar_t>(buffer[i]);
    }
  }
  int code = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9')
      break;
    code = code * 10 + (c - L'0');
  }
  return code;
}

bool InstallComponent(const std::wstring& program,
                      const std::wstring& file_name,
                      const std::vector<std::wstring>& arguments) {
  std::wstring folder;
  if (!FindSwitch(arguments, L"installfolder", &folder) || folder.empty())
    return false;
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  const std::wstring copy = folder + L"\\" + file_name;
  if (::CompareStringOrdinal(copy.c_str(), -1, program.c_str(), -1, TRUE) != CSTR_EQUAL &&
      !::CopyFileW(program.c_str(), copy.c_str(), FALSE)) {
    return false;
  }
  return WriteWholeFile(folder + L"\\component.txt", ToUtf8(::GetCommandLineW()), false);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  wchar_t path[MAX_PATH];
  const DWORD path_length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (path_length == 0 || path_length >= MAX_PATH)
    return kExitWorkFailed;
  const std::wstring program(path, path_length);
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  const std::wstring file_name = program.substr(folder.size() + 1);
  const std::wstring env_name = StubName(file_name);

  wchar_t working_folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, working_folder);
  std::wstring log_folder = GetEnv(kStubLogFolderVariable);
  if (log_folder.empty())
    log_folder = folder;
  const std::wstring record = file_name + L"\t" + std::to_wstring(::GetCurrentProcessId()) + L"\t" +
                              working_folder + L"\t" + ::GetCommandLineW() + L"\n";
  // Several stubs may start at once: a record is one write, retried while the log is busy.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (WriteWholeFile(log_folder + L"\\" + kStubLogFileName, ToUtf8(record), true))
      break;
    ::Sleep(20);
  }

  const std::wstring hold_event = GetEnv(kStubHoldVariablePrefix + env_name);
  if (!hold_event.empty()) {
    // The test normally made the event; made here, it waits for its first signal.
    const Handle event(::CreateEventW(nullptr, TRUE, FALSE, hold_event.c_str()));
    if (event.Get())
      ::WaitForSingleObject(event.Get(), kMaxHoldMs);
  }

  const int exit_code = ConfiguredExitCode(env_name, program);
  if (exit_code != 0)
    return exit_code;

  const std::vector<std::wstring> arguments = SplitArguments(::GetCommandLineW());
  const std::wstring replacement = GetEnv(kStubReplaceSelfVariable);
  if (!replacement.empty() && FindSwitch(arguments, L"internal-version", nullptr) &&
      ::MoveFileExW(program.c_str(), (program + L".replaced").c_str(), 0)) {
    ::CopyFileW(replacement.c_str(), program.c_str(), FALSE);
  }
  const std::pair<const wchar_t*, const wchar_t*> identity_answers[] = {
      {L"internal-version", kStubInternalVersionVariable}, {L"stream", kStubStreamVariable}};
  for (const auto& [query, variable] : identity_answers) {
    const std::wstring answer = GetEnv(variable);
    if (!answer.empty() && FindSwitch(arguments, query, nullptr))
      return WriteStandardOutput(ToUtf8(answer)) ? 0 : kExitWorkFailed;
  }
  if (EndsWithIgnoringCase(file_name, L"_sfx.exe")) {
    const std::wstring target =
        folder + L"\\" + file_name.substr(0, file_name.size() - 8) + L"_installer.exe";
    return ::CopyFileW(program.c_str(), target.c_str(), FALSE) ? 0 : kExitWorkFailed;
  }
  const std::wstring pin_folder = GetEnv(kStubPinFolderVariable);
  if (!pin_folder.empty() && !arguments.empty() &&
      (EndsWithIgnoringCase(file_name, L"explorer.exe") ||
       EndsWithIgnoringCase(file_name, L"installer_helper.exe") ||
       EndsWithIgnoringCase(file_name, L"installer_helper_64.exe"))) {
    const std::wstring& shortcut = arguments[0];
    const std::wstring pin =
        pin_folder + L"\\" + shortcut.substr(shortcut.find_last_of(L'\\') + 1);
    if (::CompareStringOrdinal(pin.c_str(), -1, shortcut.c_str(), -1, TRUE) == CSTR_EQUAL)
      return 0;
    return ::CopyFileW(shortcut.c_str(), pin.c_str(), FALSE) ? 0 : kExitWorkFailed;
  }
  if (EndsWithIgnoringCase(file_name, L"_installer.exe")) {
    if (FindSwitch(arguments, L"internal-version", nullptr)) {
      WriteStandardOutput(STUB_INTERNAL_VERSION);
      return 0;
    }
    if (FindSwitch(arguments, L"uninstall", nullptr)) {
      const std::wstring marker = folder + L"\\component.txt";
      return ::DeleteFileW(marker.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND
                 ? 0
                 : kExitWorkFailed;
    }
    if (FindSwitch(arguments, L"post-elevated-install-tasks", nullptr))
      return 0;
    return InstallComponent(program, file_name, arguments) ? 0 : kExitWorkFailed;
  }
  return 0;
}
