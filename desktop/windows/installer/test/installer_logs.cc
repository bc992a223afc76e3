#include "desktop/windows/installer/test/installer_logs.h"

#include <algorithm>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/installer_help.h"

namespace installer {
namespace test {

std::vector<base::FilePath> FindInstallerLogs(const base::FilePath& temp_folder) {
  struct Log {
    base::FilePath path;
    FILETIME written;
  };
  std::vector<Log> logs;
  const std::wstring pattern =
      base::AsciiToUtf16(FormatWithProductName("%s_installer", true)) + L"_*.log";
  base::FileEnumerator files(temp_folder.Append(GetInstallerFolderName()), false,
                             base::FileEnumerator::FILES, pattern);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next())
    logs.push_back({path, files.GetInfo().GetLastModifiedTime()});
  std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) {
    const LONG order = ::CompareFileTime(&a.written, &b.written);
    return order != 0 ? order < 0 : a.path.value() < b.path.value();
  });
  std::vector<base::FilePath> paths;
  for (const Log& log : logs)
    paths.push_back(log.path);
  return paths;
}

base::FilePath FindNewestInstallerLog(const base::FilePath& temp_folder) {
  const std::vector<base::FilePath> logs = FindInstallerLogs(temp_folder);
  return logs.empty() ? base::FilePath() : logs.back();
}

std::string ReadInstallerLog(const base::FilePath& temp_folder) {
  const base::FilePath log = FindNewestInstallerLog(temp_folder);
  std::string text;
  if (log.empty() || !base::ReadFileToString(log, &text))
    return std::string();
  return text;
}

std::string ReadFrontEndLog(const base::FilePath& temp_folder) {
  std::vector<base::FilePath> logs = FindInstallerLogs(temp_folder);
  const auto first = std::min_element(logs.begin(), logs.end());
  std::string text;
  if (first == logs.end() || !base::ReadFileToString(*first, &text))
    return std::string();
  return text;
}

std::string ReadAllInstallerLogs(const base::FilePath& temp_folder) {
  std::string all;
  for (const base::FilePath& log : FindInstallerLogs(temp_folder)) {
    std::string text;
    base::ReadFileToString(log, &text);
    all += "==== " + log.BaseName().ToUtf8() + "\n" + text;
  }
  return all;
}

}  // namespace test
}  // namespace installer
