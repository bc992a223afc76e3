#include "desktop/windows/installer/service/task_scheduler_util.h"

#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/installer/service/product_config.h"

namespace installer {

std::wstring GetCommandLineArguments(const base::CommandLine& command_line) {
  const std::wstring whole = command_line.GetCommandLineString();
  const std::wstring program = base::CommandLine(command_line.GetProgram()).GetCommandLineString();
  if (!base::StartsWith(whole, program, base::CompareCase::SENSITIVE))
    return std::wstring();
  return std::wstring(
      base::TrimWhitespaceASCII(std::wstring_view(whole).substr(program.size()), base::TRIM_ALL));
}

base::CommandLine MakeCommandLine(const std::wstring& program, const std::wstring& arguments) {
  base::CommandLine command_line{base::FilePath(program)};
  if (!arguments.empty()) {
    const base::CommandLine parsed = base::CommandLine::FromString(L"x " + arguments);
    command_line.AppendArguments(parsed, false);
  }
  return command_line;
}

int GetLogonTriggerDelayMinutes() {
  const int minutes = ProductConfig::GetInstance().GetScheduledAutoupdateDelayMinutes();
  return minutes > 0 ? minutes : 0;
}

bool IsTaskNotFound(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

SYSTEMTIME GetLocalTimeFromNow(int minutes) {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  ticks.QuadPart += static_cast<ULONGLONG>(minutes) * 60 * 10000000;
  FILETIME utc;
  utc.dwLowDateTime = ticks.LowPart;
  utc.dwHighDateTime = ticks.HighPart;
  SYSTEMTIME utc_time;
  SYSTEMTIME local_time;
  if (!::FileTimeToSystemTime(&utc, &utc_time) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &utc_time, &local_time)) {
    ::GetLocalTime(&local_time);
  }
  return local_time;
}

std::wstring FormatTaskTime(const SYSTEMTIME& time) {
  return base::WideStringPrintf(L"%04u-%02u-%02uT%02u:%02u:%02u", time.wYear, time.wMonth,
                                time.wDay, time.wHour, time.wMinute, time.wSecond);
}

std::wstring FormatDurationSeconds(uint32_t seconds) {
  return base::WideStringPrintf(L"PT%uS", seconds);
}

std::wstring FormatDurationMinutes(int minutes) {
  return base::WideStringPrintf(L"PT%dM", minutes);
}

bool ParseDurationSeconds(std::wstring_view duration, uint64_t* seconds) {
  if (duration.empty() || duration.front() != L'P')
    return false;
  duration.remove_prefix(1);
  uint64_t total = 0;
  bool in_time = false;
  bool any_field = false;
  uint64_t number = 0;
  bool have_digits = false;
  for (const wchar_t c : duration) {
    if (c >= L'0' && c <= L'9') {
      if (number > (UINT64_MAX - 9) / 10)
        return false;
      number = number * 10 + static_cast<uint64_t>(c - L'0');
      have_digits = true;
      continue;
    }
    if (c == L'T' && !in_time && !have_digits) {
      in_time = true;
      continue;
    }
    uint64_t unit = 0;
    if (!in_time && c == L'D')
      unit = 24 * 3600;
    else if (in_time && c == L'H')
      unit = 3600;
    else if (in_time && c == L'M')
      unit = 60;
    else if (in_time && c == L'S')
      unit = 1;
    if (unit == 0 || !have_digits || number > UINT64_MAX / unit ||
        total > UINT64_MAX - number * unit) {
      return false;
    }
    total += number * unit;
    number = 0;
    have_digits = false;
    any_field = true;
  }
  if (have_digits || !any_field)
    return false;
  *seconds = total;
  return true;
}

}  // namespace installer
