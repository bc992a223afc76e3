#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"

#include <memory>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/callback.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/memory/ref_counted.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/thread.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

constexpr wchar_t kMutexName[] = L"mevd_registry_mutex";
constexpr wchar_t kFallbackFileName[] = L"au_global_storage";
// The fallback file's dictionary of values.
constexpr char kFallbackDictionaryKey[] = "GS";
constexpr REGSAM kRegistryWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | READ_CONTROL;

// The access mutex, taken without waiting and released when the object goes.
class ScopedMutexTurn {
 public:
  explicit ScopedMutexTurn(HANDLE mutex)
      : mutex_(mutex), wait_result_(::WaitForSingleObject(mutex, 0)) {}
  ScopedMutexTurn(const ScopedMutexTurn&) = delete;
  ScopedMutexTurn& operator=(const ScopedMutexTurn&) = delete;
  ~ScopedMutexTurn() {
    if (owned())
      ::ReleaseMutex(mutex_);
  }

  // An abandoned mutex is owned too: its previous owner ended without releasing it.
  bool owned() const { return wait_result_ == WAIT_OBJECT_0 || wait_result_ == WAIT_ABANDONED; }
  // Not owned: STATUS_BUSY when another owner holds it, else STATUS_FAILED.
  GlobalStorageBase::Status failure() const {
    return wait_result_ == WAIT_TIMEOUT ? GlobalStorageBase::STATUS_BUSY
                                        : GlobalStorageBase::STATUS_FAILED;
  }

 private:
  const HANDLE mutex_;
  const DWORD wait_result_;
};

// A thread of its own for one operation on the fallback file: the file's store is made,
// read, used and released on it, and the file is written before the thread stops.
class GsTaskThread {
 public:
  explicit GsTaskThread(const base::FilePath& path) : thread_("GsTaskThread"), path_(path) {}
  GsTaskThread(const GsTaskThread&) = delete;
  GsTaskThread& operator=(const GsTaskThread&) = delete;

  // Runs |operation| with the store on the thread and returns its result; false when the
  // thread cannot be started.
  bool Run(base::Callback<bool(JsonPrefStore*)> operation) {
    if (!thread_.Start())
      return false;
    bool result = false;
    base::WaitEvent done(base::WaitEvent::ResetPolicy::MANUAL,
                         base::WaitEvent::InitialState::NOT_SIGNALED);
    thread_.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&]() {
      base::scoped_refptr<JsonPrefStore> store =
          base::MakeRefCounted<JsonPrefStore>(path_, thread_.GetTaskRunner());
      store->ReadPrefs();
      result = operation.Run(store.get());
      store.reset();
      done.Signal();
    }));
    // The store's write is posted by now, so stopping runs it.
    done.Wait();
    thread_.Stop();
    return result;
  }

 private:
  base::Thread thread_;
  const base::FilePath path_;
};

// Sets (or with an empty |value| removes) |key| in the store's "GS" dictionary and writes
// the file at once.
bool WriteFallbackEntry(const std::string& key, const std::string& value, JsonPrefStore* store) {
  if (store->ReadOnly())
    return false;
  // A copy without |key|: keys are taken whole, dots included.
  auto entries = std::make_unique<base::DictionaryValue>();
  const base::Value* stored = nullptr;
  if (store->GetValue(kFallbackDictionaryKey, &stored)) {
    const base::DictionaryValue* stored_entries = nullptr;
    if (!stored->GetAsDictionary(&stored_entries))
      return false;
    for (const auto& entry : *stored_entries) {
      if (entry.first != key)
        entries->SetWithoutPathExpansion(entry.first, entry.second->CreateDeepCopy());
    }
  }
  if (!value.empty())
    entries->SetWithoutPathExpansion(key, std::make_unique<base::StringValue>(value));
  store->SetValue(kFallbackDictionaryKey, std::move(entries),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->CommitPendingWrite();
  return true;
}

// Hands the store's "GS" dictionary to |reader|: false when "GS" is not a dictionary; an
// absent one reads as empty.
bool ReadFallbackEntries(base::Callback<void(const base::DictionaryValue&)> reader,
                         JsonPrefStore* store) {
  const base::Value* stored = nullptr;
  if (!store->GetValue(kFallbackDictionaryKey, &stored)) {
    reader.Run(base::DictionaryValue());
    return true;
  }
  const base::DictionaryValue* entries = nullptr;
  if (!stored->GetAsDictionary(&entries))
    return false;
  reader.Run(*entries);
  return true;
}

void CollectStringEntries(std::vector<std::pair<std::string, std::string>>* values,
                          const base::DictionaryValue& entries) {
  for (const auto& entry : entries) {
    std::string value;
    if (entry.second->GetAsString(&value))
      values->emplace_back(entry.first, value);
  }
}

bool RunOnFallbackFile(const base::FilePath& path,
                       base::Callback<bool(JsonPrefStore*)> operation) {
  // No fallback folder was given: there is no file to use.
  if (path.empty())
    return false;
  return GsTaskThread(path).Run(std::move(operation));
}

}  // namespace

// static
GlobalStorage& GlobalStorage::Instance() {
  static GlobalStorage storage(GetCompanyRegistryKey(), GetCurrentInstallation().IsCopyOnly());
  storage.ProbeWriteAccess();
  return storage;
}

GlobalStorage::GlobalStorage(const std::wstring& registry_path, bool copy_only)
    : registry_path_(registry_path), copy_only_(copy_only) {}

GlobalStorage::~GlobalStorage() = default;

void GlobalStorage::ProbeWriteAccess() {
  base::AutoLock lock(lock_);
  if (probed_)
    return;
  probed_ = true;
  if (copy_only_) {
    use_fallback_ = true;
    return;
  }
  base::win::RegistryKey place;
  if (place.Open(HKEY_CURRENT_USER, registry_path_.c_str(), KEY_READ | KEY_WRITE) ==
      ERROR_ACCESS_DENIED) {
    use_fallback_ = true;
  }
}

void GlobalStorage::SetFallbackFolder(const base::FilePath& folder) {
  const base::FilePath path = folder.Append(kFallbackFileName);
  {
    base::AutoLock lock(lock_);
    fallback_path_ = path;
  }
  if (!base::PathExists(path) || use_fallback_ || registry_written_)
    return;

  std::vector<std::pair<std::string, std::string>> values;
  migrating_ = true;
  RunOnFallbackFile(path, base::BindFunction(&ReadFallbackEntries,
                                             base::BindFunction(&CollectStringEntries, &values)));
  // With |migrating_| set the writes go to the registry only.
  for (const auto& entry : values)
    Write(entry.first, entry.second);
  migrating_ = false;
}

GlobalStorageBase::Status GlobalStorage::Write(const std::string& key, const std::string& value) {
  if (key.empty())
    return STATUS_INVALID_ARGUMENT;
  const HANDLE mutex = GetMutex();
  if (!mutex) {
    LOG(ERROR) << "[AU] GS: Couldn't create an access mutex";
    return STATUS_FAILED;
  }
  ScopedMutexTurn turn(mutex);
  if (!turn.owned()) {
    LOG(ERROR) << "[AU] GS: Couldn't get hold on an access mutex";
    return turn.failure();
  }

  const bool use_fallback = use_fallback_;
  const base::FilePath fallback_path = GetFallbackPath();
  Status result = STATUS_OK;
  if (use_fallback ||
      (!migrating_ && !fallback_path.empty() && base::PathExists(fallback_path))) {
    if (!RunOnFallbackFile(fallback_path, base::BindFunction(&WriteFallbackEntry, key, value))) {
      LOG(ERROR) << "[AU] GS: Writing to a fallback storage failed";
      result = STATUS_FAILED;
    }
    if (use_fallback)
      return result;
  }
  // The file only mirrors the registry here: the registry's result counts.
  return WriteToRegistry(key, value);
}

GlobalStorageBase::Status GlobalStorage::Read(const std::string& key, std::string* value) {
  if (value)
    value->clear();
  if (!value || key.empty())
    return STATUS_INVALID_ARGUMENT;
  const HANDLE mutex = GetMutex();
  if (!mutex)
    return STATUS_FAILED;
  ScopedMutexTurn turn(mutex);
  if (!turn.owned())
    return turn.failure();

  if (!use_fallback_)
    return ReadFromRegistry(key, value);
  const bool read = RunOnFallbackFile(
      GetFallbackPath(),
      base::BindFunction(&ReadFallbackEntries,
                         base::BindLambda([&key, value](const base::DictionaryValue& entries) {
                           const base::Value* entry = nullptr;
                           if (entries.GetWithoutPathExpansion(key, &entry))
                             entry->GetAsString(value);
                         })));
  return read ? STATUS_OK : STATUS_FAILED;
}

HANDLE GlobalStorage::GetMutex() {
  base::AutoLock lock(lock_);
  if (!mutex_.IsValid()) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
    // Made by a process of more rights: waiting on it is all that is needed.
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED)
      mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
    mutex_.Set(mutex);
  }
  return mutex_.IsValid() ? mutex_.Get() : nullptr;
}

base::FilePath GlobalStorage::GetFallbackPath() const {
  base::AutoLock lock(lock_);
  return fallback_path_;
}

GlobalStorageBase::Status GlobalStorage::WriteToRegistry(const std::string& key,
                                                         const std::string& value) {
  // The registry functions report their status directly, not through the last error.
  base::win::RegistryKey place;
  Status result = STATUS_OK;
  if (value.empty()) {
    const LONG status = place.Open(HKEY_CURRENT_USER, registry_path_.c_str(),
                                   kRegistryWriteAccess);
    if (status == ERROR_SUCCESS) {
      // A value that is not there is deleted already.
      ::RegDeleteValueA(place.Handle(), key.c_str());
    } else if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND) {
      LOG(ERROR) << "[AU] GS: Deleting reg value failed with: " << status;
      result = STATUS_FAILED;
    }
  } else {
    LONG status = place.Create(HKEY_CURRENT_USER, registry_path_.c_str(), kRegistryWriteAccess);
    if (status != ERROR_SUCCESS) {
      LOG(ERROR) << "[AU] GS: Creating reg key failed with: " << status;
      result = STATUS_FAILED;
    } else {
      // The registry counts a NUL that directly follows string data as part of it: a
      // byte other than NUL behind the text keeps the stored size at the text's length.
      const std::string data = value + '\x01';
      status = ::RegSetValueExA(place.Handle(), key.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(value.size()));
      if (status != ERROR_SUCCESS) {
        LOG(ERROR) << "[AU] GS: Setting reg value failed with: " << status;
        result = STATUS_FAILED;
      }
    }
  }
  registry_written_ = result == STATUS_OK;
  return result;
}

GlobalStorageBase::Status GlobalStorage::ReadFromRegistry(const std::string& key,
                                                          std::string* value) const {
  base::win::RegistryKey place;
  if (place.Open(HKEY_CURRENT_USER, registry_path_.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return STATUS_OK;
  DWORD size = 0;
  if (::RegQueryValueExA(place.Handle(), key.c_str(), nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return STATUS_OK;
  }
  // The data has no NUL of its own: one more byte for it.
  std::vector<char> buffer(size + 1, '\0');
  if (::RegQueryValueExA(place.Handle(), key.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return STATUS_FAILED;
  }
  buffer[size] = '\0';
  value->assign(buffer.data());
  return STATUS_OK;
}

}  // namespace installer
