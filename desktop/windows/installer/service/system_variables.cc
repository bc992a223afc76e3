#include "desktop/windows/installer/service/system_variables.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/known_folder.h"

namespace installer {

namespace {

// The system's value of the variable |name|; false when it is none of those above.
bool GetSystemValue(const std::wstring& name, std::wstring* value) {
  const struct {
    const wchar_t* name;
    const KNOWNFOLDERID* folder;
  } kFolders[] = {
      {L"SystemRoot", &FOLDERID_Windows},
      {L"windir", &FOLDERID_Windows},
      {L"ProgramFiles", &FOLDERID_ProgramFiles},
      {L"ProgramW6432", &FOLDERID_ProgramFilesX64},
      {L"ProgramFiles(x86)", &FOLDERID_ProgramFilesX86},
      {L"CommonProgramFiles", &FOLDERID_ProgramFilesCommon},
      {L"CommonProgramW6432", &FOLDERID_ProgramFilesCommonX64},
      {L"CommonProgramFiles(x86)", &FOLDERID_ProgramFilesCommonX86},
      {L"ProgramData", &FOLDERID_ProgramData},
  };
  for (const auto& entry : kFolders) {
    if (!base::FilePath::CompareEqualIgnoreCase(name, entry.name))
      continue;
    base::FilePath folder;
    const HRESULT result = base::win::GetKnownFolderPath(*entry.folder, 0, &folder);
    if (FAILED(result)) {
      ELOG(ERROR, result) << "The system does not say where " << name << " is";
      return false;
    }
    *value = folder.value();
    return true;
  }
  if (base::FilePath::CompareEqualIgnoreCase(name, L"SystemDrive")) {
    base::FilePath windows;
    const HRESULT result = base::win::GetKnownFolderPath(FOLDERID_Windows, 0, &windows);
    if (FAILED(result) || windows.value().size() < 2 || windows.value()[1] != L':') {
      LOG(ERROR) << "The system does not say which drive holds Windows";
      return false;
    }
    *value = windows.value().substr(0, 2);
    return true;
  }
  LOG(ERROR) << "Not expanding %" << base::Utf16ToUtf8(name) << "%: the user may set it";
  return false;
}

}  // namespace

bool ExpandSystemVariables(const std::wstring& text, std::wstring* expanded) {
  std::wstring result;
  size_t position = 0;
  while (position < text.size()) {
    const size_t start = text.find(L'%', position);
    const size_t end = start == std::wstring::npos ? start : text.find(L'%', start + 1);
    if (end == std::wstring::npos) {
      result.append(text, position, std::wstring::npos);
      break;
    }
    result.append(text, position, start - position);
    const std::wstring name = text.substr(start + 1, end - start - 1);
    if (name.empty()) {
      result.push_back(L'%');
    } else {
      std::wstring value;
      if (!GetSystemValue(name, &value))
        return false;
      result += value;
    }
    position = end + 1;
  }
  *expanded = result;
  return true;
}

}  // namespace installer
