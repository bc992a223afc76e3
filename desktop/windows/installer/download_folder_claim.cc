#include "desktop/windows/installer/download_folder_claim.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
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
// The creation time in the names of a run's files: a FILETIME in hex.
constexpr size_t kCreationTimeDigits = 16;

void RemoveLeftovers(const base::FilePath& folder) {
  std::vector<base::FilePath> leftovers;
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    DownloadFolderClaim::Owner owner;
    // A front end that has not claimed the folder yet tries it with a probe copy.
    if (DownloadFolderClaim::IsRunFileName(entry.BaseName().value(), &owner) &&
        (owner.process_id == 0 || !base::IsProcessRunning(owner.process_id, owner.created))) {
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
std::wstring DownloadFolderClaim::MakeRunOwnerText() {
  uint64_t created = 0;
  if (!base::GetProcessCreationTime(::GetCurrentProcess(), &created))
    PLOG(ERROR) << "Cannot read when this process started";
  return base::WideStringPrintf(L"%lu-%016llx", ::GetCurrentProcessId(),
                                static_cast<unsigned long long>(created));
}

// static
bool DownloadFolderClaim::IsRunFileName(std::wstring_view name, Owner* owner) {
  Owner ignored;
  if (!owner)
    owner = &ignored;
  *owner = Owner();
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
    owner->process_id = value;
    return true;
  };
  // An owner off the front of |text|: a process id and, from newer installers, "-" and its
  // creation time.
  auto take_owner = [&](std::wstring_view* text) {
    if (!take_process_id(text))
      return false;
    if (text->empty() || text->front() != L'-')
      return true;
    text->remove_prefix(1);
    // As MakeRunOwnerText writes it: sixteen lower-case hex digits, nothing else.
    const std::wstring_view digits = text->substr(0, kCreationTimeDigits);
    uint64_t created = 0;
    if (digits.size() != kCreationTimeDigits ||
        digits.find_first_not_of(L"0123456789abcdef") != std::wstring_view::npos ||
        !base::HexStringToUint64(digits, &created)) {
      return false;
    }
    text->remove_prefix(kCreationTimeDigits);
    owner->created = created;
    return true;
  };
  // "_" and an owner, when |text| starts with "_".
  auto take_optional_owner = [&](std::wstring_view* text) {
    if (text->empty() || text->front() != L'_')
      return true;
    text->remove_prefix(1);
    return take_owner(text);
  };

  if (name == kAdditionalFileName)
    return true;
  constexpr std::wstring_view kAdditionalFilePrefix = L"additional_file_";
  if (name.starts_with(kAdditionalFilePrefix)) {
    std::wstring_view rest = name.substr(kAdditionalFilePrefix.size());
    return take_owner(&rest) && rest == L".tmp";
  }
  const std::wstring probe_prefix = std::wstring(kProbeCopyBaseName) + L"_";
  if (name.starts_with(probe_prefix)) {
    std::wstring_view rest = name.substr(probe_prefix.size());
    return take_digits(&rest, kTimeStampDigits) && !rest.empty() && rest.front() == L'_' &&
           take_optional_owner(&rest) && rest == L".exe";
  }
  for (std::wstring_view prefix : {std::wstring_view(L"tavro_installer_"),
                                   std::wstring_view(L"suite_")}) {
    if (!name.starts_with(prefix))
      continue;
    std::wstring_view rest = name.substr(prefix.size());
    if (!take_digits(&rest, kTimeStampDigits) || !take_optional_owner(&rest))
      return false;
    return rest.empty() || rest == L".exe" || rest == L".7z";
  }
  return false;
}

}  // namespace installer
