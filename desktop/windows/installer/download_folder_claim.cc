#include "desktop/windows/installer/download_folder_claim.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace installer {

namespace {

constexpr wchar_t kClaimName[] = L"TavroInstaller/DownloadFolder";
constexpr wchar_t kAdditionalFileName[] = L"additional_file.tmp";
constexpr size_t kTimeStampDigits = 14;
// How long a front end waits for another one to clean the folder.
constexpr DWORD kCleaningWaitMs = 60 * 1000;

// Whether the process |process_id| runs; one this process may not open does.
bool IsRunning(DWORD process_id) {
  const HANDLE opened = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
  const DWORD error = ::GetLastError();
  const base::win::ScopedHandle process(opened);
  if (!process.IsValid())
    return error == ERROR_ACCESS_DENIED;
  return ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

void RemoveLeftovers(const base::FilePath& folder) {
  std::vector<base::FilePath> leftovers;
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    DWORD process_id = 0;
    // A front end that has not claimed the folder yet tries it with a probe copy.
    if (DownloadFolderClaim::IsRunFileName(entry.BaseName().value(), &process_id) &&
        (process_id == 0 || !IsRunning(process_id))) {
      leftovers.push_back(entry);
    }
  }
  for (const base::FilePath& leftover : leftovers) {
    LOG(INFO) << "Removing what an interrupted installer left: " << leftover;
    // What a backend still uses goes next time.
    if (!base::DeletePath(leftover, true))
      LOG(WARNING) << "Could not remove " << leftover;
  }
}

}  // namespace

DownloadFolderClaim::DownloadFolderClaim(const base::FilePath& folder) {
  const std::wstring name = MakeObjectName(folder, kClaimName, false);
  // Made owned: no other front end starts on the folder before the first has cleaned it.
  // One that another user made decides nothing here: nothing is removed on its word.
  NamedObject claim = CreateNamedMutex(name, IfExists::kUseWhenTrusted, false, true);
  claim_ = std::move(claim.handle);
  if (!claim_.IsValid()) {
    LOG(ERROR) << "Cannot claim the download folder " << folder;
    return;
  }
  if (!claim.existed) {
    RemoveLeftovers(folder);
  } else {
    const DWORD waited = ::WaitForSingleObject(claim_.Get(), kCleaningWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      LOG(WARNING) << "Another installer did not finish cleaning " << folder << " in time";
      return;
    }
  }
  if (!::ReleaseMutex(claim_.Get()))
    PLOG(ERROR) << "Cannot let go of the download folder " << folder;
}

DownloadFolderClaim::~DownloadFolderClaim() = default;

// static
bool DownloadFolderClaim::IsRunFileName(std::wstring_view name, DWORD* process_id) {
  DWORD ignored = 0;
  if (!process_id)
    process_id = &ignored;
  *process_id = 0;
  // Takes |count| decimal digits (at least one when |count| is 0: as many as there are)
  // off the front of |text|.
  auto take_digits = [](std::wstring_view* text, size_t count) {
    size_t digits = 0;
    while (digits < text->size() && (*text)[digits] >= L'0' && (*text)[digits] <= L'9' &&
           (count == 0 || digits < count)) {
      ++digits;
    }
    if (digits == 0 || (count != 0 && digits != count))
      return false;
    text->remove_prefix(digits);
    return true;
  };
  // A process id off the front of |text|.
  auto take_process_id = [&](std::wstring_view* text) {
    const std::wstring_view digits = *text;
    if (!take_digits(text, 0))
      return false;
    unsigned value = 0;
    if (!base::StringToUint(std::wstring(digits.substr(0, digits.size() - text->size())),
                            &value)) {
      return false;
    }
    *process_id = value;
    return true;
  };
  // "_" and a process id, when |text| starts with "_".
  auto take_optional_process_id = [&](std::wstring_view* text) {
    if (text->empty() || text->front() != L'_')
      return true;
    text->remove_prefix(1);
    return take_process_id(text);
  };

  if (name == kAdditionalFileName)
    return true;
  constexpr std::wstring_view kAdditionalFilePrefix = L"additional_file_";
  if (name.starts_with(kAdditionalFilePrefix)) {
    std::wstring_view rest = name.substr(kAdditionalFilePrefix.size());
    return take_process_id(&rest) && rest == L".tmp";
  }
  const std::wstring probe_prefix = std::wstring(kProbeCopyBaseName) + L"_";
  if (name.starts_with(probe_prefix)) {
    std::wstring_view rest = name.substr(probe_prefix.size());
    return take_digits(&rest, kTimeStampDigits) && !rest.empty() && rest.front() == L'_' &&
           take_optional_process_id(&rest) && rest == L".exe";
  }
  for (std::wstring_view prefix : {std::wstring_view(L"tavro_installer_"),
                                   std::wstring_view(L"suite_")}) {
    if (!name.starts_with(prefix))
      continue;
    std::wstring_view rest = name.substr(prefix.size());
    if (!take_digits(&rest, kTimeStampDigits) || !take_optional_process_id(&rest))
      return false;
    return rest.empty() || rest == L".exe" || rest == L".7z";
  }
  return false;
}

}  // namespace installer
