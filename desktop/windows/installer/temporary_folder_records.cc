#include "desktop/windows/installer/temporary_folder_records.h"

#include <windows.h>

#include <stdint.h>

#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/user_rights.h"

namespace installer {

const wchar_t kStagingFolderPrefix[] = L"tavro_staging_";
const wchar_t kCleanupFolderPrefix[] = L"tavro_cleanup_";
const wchar_t kPinFolderPrefix[] = L"tavro_pin_";

namespace {

// The records are machine-wide whichever view the process runs in.
constexpr REGSAM kView = KEY_WOW64_64KEY;

// The one process that made a folder: an id alone may name a later process.
struct Maker {
  DWORD pid = 0;
  uint64_t creation_time = 0;
};

std::wstring FormatMaker(const Maker& maker) {
  return base::UintToWideString(maker.pid) + L"," +
         base::AsciiToUtf16(base::Uint64ToString(maker.creation_time));
}

bool ParseMaker(const std::wstring& text, Maker* maker) {
  const size_t comma = text.find(L',');
  if (comma == std::wstring::npos)
    return false;
  const std::wstring_view view(text);
  unsigned pid = 0;
  uint64_t creation_time = 0;
  if (!base::StringToUint(view.substr(0, comma), &pid) || pid == 0 ||
      !base::StringToUint64(view.substr(comma + 1), &creation_time)) {
    return false;
  }
  maker->pid = pid;
  maker->creation_time = creation_time;
  return true;
}

// A known prefix followed by the digits that CreateUniqueProtectedFolder adds: no
// separator, no dot, nothing that could lead elsewhere.
bool IsRecordableName(const std::wstring& name) {
  for (const wchar_t* prefix : {kStagingFolderPrefix, kCleanupFolderPrefix, kPinFolderPrefix}) {
    const std::wstring_view known(prefix);
    if (name.size() <= known.size() || name.size() > known.size() + 20 ||
        name.compare(0, known.size(), known) != 0) {
      continue;
    }
    for (size_t i = known.size(); i < name.size(); ++i) {
      if (name[i] < L'0' || name[i] > L'9')
        return false;
    }
    return true;
  }
  return false;
}

// Removes |path| (below HKEY_LOCAL_MACHINE) when it holds neither values nor keys: nobody's
// record is lost, and a machine that had no such key keeps none.
void DeleteKeyIfEmpty(const std::wstring& path) {
  base::win::RegistryKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | kView) != ERROR_SUCCESS)
    return;
  DWORD subkeys = 0;
  DWORD values = 0;
  if (::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subkeys != 0 || values != 0) {
    return;
  }
  key.Close();
  const LONG result = ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kView, 0);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    ELOG(WARNING, result) << "Cannot remove the empty key " << path;
}

void DropRecord(const std::wstring& name) {
  base::win::RegistryKey records;
  const std::wstring path = GetTemporaryFoldersRegistryKey();
  LONG result = records.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_SET_VALUE | kView);
  if (result == ERROR_SUCCESS)
    result = records.DeleteValue(name.c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    ELOG(WARNING, result) << "Cannot remove the record of " << name;
    return;
  }
  records.Close();
  DeleteKeyIfEmpty(path);
  DeleteKeyIfEmpty(GetCompanyRegistryKey());
}

// Logged, never fatal: an unrecorded folder is still removed by this process.
void WriteRecord(const base::FilePath& folder) {
  Maker maker;
  maker.pid = ::GetCurrentProcessId();
  if (!base::GetProcessCreationTime(::GetCurrentProcess(), &maker.creation_time)) {
    PLOG(WARNING) << "Cannot tell when this process started: " << folder << " stays unrecorded";
    return;
  }
  base::win::RegistryKey records;
  LONG result = records.Create(HKEY_LOCAL_MACHINE, GetTemporaryFoldersRegistryKey().c_str(),
                               KEY_SET_VALUE | kView);
  if (result == ERROR_SUCCESS)
    result = records.WriteValue(folder.BaseName().value().c_str(), FormatMaker(maker));
  if (result != ERROR_SUCCESS)
    ELOG(WARNING, result) << "Cannot record " << folder << ": only this process removes it";
}

// Removes one recorded folder as the header says; true when its record may go.
bool SweepFolder(const base::FilePath& temp,
                 const std::wstring& name,
                 const std::vector<uint8_t>& data,
                 DWORD type) {
  const base::FilePath folder = temp.Append(name);
  base::FilePath normalized;
  Maker maker;
  const std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                          data.size() / sizeof(wchar_t));
  if (!IsRecordableName(name) || !NormalizePath(folder, &normalized) ||
      !IsSamePath(normalized.DirName(), temp) ||
      !base::FilePath::CompareEqualIgnoreCase(normalized.BaseName().value(), name) ||
      type != REG_SZ || !ParseMaker(text.substr(0, text.find(L'\0')), &maker)) {
    LOG(WARNING) << "Dropping the record of the temporary folder \"" << name
                 << "\": it names no folder of ours";
    return true;
  }
  // One that cannot be examined counts as running: its folder stays.
  if (base::IsProcessRunning(maker.pid, maker.creation_time))
    return false;
  const DWORD attributes = ::GetFileAttributesW(normalized.value().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return true;
    ELOG(WARNING, error) << "Cannot examine " << normalized << ": it stays for now";
    return false;
  }
  // What stands in the folder's place now is not what the process made.
  base::win::ScopedHandle held;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    held = base::OpenFolderForDeletion(normalized);
  if (!held.IsValid() || !IsSamePath(base::GetFinalPath(held.Get()).DirName(), temp)) {
    LOG(WARNING) << "Dropping the record of " << normalized
                 << ": no folder of its own is there, what is there stays";
    return true;
  }
  LOG(INFO) << "Removing " << normalized << ", left by process " << maker.pid;
  if (!base::DeleteOpenFolder(std::move(held))) {
    LOG(WARNING) << "Not all of " << normalized << " could be removed: it stays recorded";
    return false;
  }
  return true;
}

void SweepOnce() {
  static std::once_flag swept;
  std::call_once(swept, [] {
    // Only an administrator can remove what another elevated process made; a limited
    // process could not even change the records.
    if (IsProcessElevated())
      SweepTemporaryFolders();
  });
}

}  // namespace

std::wstring GetTemporaryFoldersRegistryKey() {
  return GetCompanyRegistryKey() + L"\\Installer Temporary Folders";
}

bool CreateRecordedTemporaryFolder(const std::wstring& prefix,
                                   Readers readers,
                                   base::FilePath* folder) {
  SweepOnce();
  base::FilePath made;
  if (!CreateUniqueProtectedFolder(SystemTempFolder(), prefix, readers, &made))
    return false;
  if (IsProcessElevated())
    WriteRecord(made);
  *folder = made;
  return true;
}

void ForgetTemporaryFolder(const base::FilePath& folder) {
  if (!folder.empty())
    DropRecord(folder.BaseName().value());
}

void SweepTemporaryFolders() {
  base::FilePath temp;
  if (!NormalizePath(SystemTempFolder(), &temp))
    return;
  struct Record {
    std::wstring name;
    DWORD type;
    std::vector<uint8_t> data;
  };
  std::vector<Record> records;
  const std::wstring key = GetTemporaryFoldersRegistryKey();
  for (base::win::RegistryValueIterator it(HKEY_LOCAL_MACHINE, key.c_str(), kView); it.Valid();
       ++it) {
    records.push_back({it.Name(), it.Type(), it.Data()});
  }
  for (const Record& record : records) {
    if (SweepFolder(temp, record.name, record.data, record.type))
      DropRecord(record.name);
  }
}

}  // namespace installer
