#include "desktop/windows/installer/folder_path_check.h"

#include <windows.h>

#include <string_view>

#include "base/files/file_util.h"
#include "desktop/windows/installer/ipc/mailslot_io.h"
#include "base/strings/string_util.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// The front end's mailslot, below "\\.\mailslot\", is this followed by the install folder.
constexpr wchar_t kInstallerMailslotName[] = L"tavro_installer\\";

// The kernel objects named after an install folder, with the namespace each lives in.
struct ObjectName {
  const wchar_t* base_name;
  bool global;
};
constexpr ObjectName kObjectNames[] = {
    {L"Tavro/Installer", true},
    {L"TavroInstaller/InstallationInterrupted", true},
    {L"TavroInstaller/PackageReady", true},
    {L"TavroInstaller/GiveInstallPermission", false},
    {L"TavroInstaller/GiveInstallPermission/Undo", false},
};

bool IsForbiddenInName(wchar_t c) {
  return c < 32 || c == L'"' || c == L'*' || c == L'?' || c == L'<' || c == L'>' ||
         c == L'|' || c == L':';
}

// The problem of one name of the path (a folder, or a UNC server or share).
const char* GetNameProblem(std::wstring_view name) {
  if (name.back() == L'.' || name.back() == L' ')
    return "Path has a name that ends in a dot or a space";
  for (wchar_t c : name) {
    if (IsForbiddenInName(c))
      return "Path holds a character that a name cannot hold";
  }
  if (base::IsDeviceName(name))
    return "Path names a device";
  return nullptr;
}

}  // namespace

std::string GetFolderPathProblem(const base::FilePath& folder) {
  if (folder.empty())
    return "Path is empty";
  if (!folder.IsAbsolute())
    return "Path is relative";
  // Told as its own reason: the install folder's reason for a length is "too long" too.
  if (folder.value().size() >= base::kMaxDirectoryPathLength)
    return "Path is too long";
  if (!base::IsValidPath(folder, true))
    return "Path is not a valid Win32 path";
  // Everything works on the text of the path; ".." would let it name another folder than
  // the one the user sees.
  if (folder.ReferencesParent())
    return "Path refers to a parent folder";
  const std::wstring& text = folder.value();
  // After "X:\" every name is a folder's; "\\server\share" are names too.
  const bool unc = base::FilePath::IsSeparator(text[0]);
  size_t position = unc ? 2 : 3;
  while (position < text.size()) {
    size_t end = position;
    while (end < text.size() && !base::FilePath::IsSeparator(text[end]))
      ++end;
    if (end > position) {
      if (const char* problem = GetNameProblem(std::wstring_view(text).substr(position, end - position)))
        return problem;
    }
    position = end + 1;
  }
  return std::string();
}

std::string GetInstallFolderPathProblem(const base::FilePath& folder) {
  // Kernel object names and the mailslot's path are limited to MAX_PATH characters with
  // their terminator. Only a path that names a place has a length worth telling.
  if (!folder.empty() && folder.IsAbsolute()) {
    if (MakeMailslotPath(kInstallerMailslotName + folder.value()).size() >= MAX_PATH)
      return "Path is too long for the installer's mailslot name";
    for (const ObjectName& name : kObjectNames) {
      if (MakeObjectName(folder, name.base_name, name.global).size() >= MAX_PATH)
        return "Path is too long for the installer's kernel object names";
    }
  }
  return GetFolderPathProblem(folder);
}

int GetPathProblemMessageId(const std::string& problem) {
  static constexpr struct {
    const char* prefix;
    int message_id;
  } kMessages[] = {
      {"Path is empty", IDS_INVALID_PATH_EMPTY},
      {"Path is relative", IDS_INVALID_PATH_RELATIVE},
      {"Path is too long", IDS_INVALID_PATH_TOO_LONG},
      {"Path refers to a parent folder", IDS_INVALID_PATH_PARENT},
      {"Path has a name", IDS_INVALID_PATH_NAME},
      {"Path holds a character", IDS_INVALID_PATH_NAME},
      {"Path names a device", IDS_INVALID_PATH_NAME},
      {"Path is a file path", IDS_INVALID_PATH_FILE},
  };
  for (const auto& message : kMessages) {
    if (base::StartsWith(problem, message.prefix, base::CompareCase::SENSITIVE))
      return message.message_id;
  }
  return IDS_INVALID_INSTALL_PATH;
}

}  // namespace installer
