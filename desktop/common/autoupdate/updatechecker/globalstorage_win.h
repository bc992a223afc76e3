#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_

#include <windows.h>

#include <atomic>
#include <string>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace installer {

// A small key/value store of the autoupdate code, shared by all processes of the user.
class GlobalStorageBase {
 public:
  // The results of Read and Write.
  enum Status {
    STATUS_OK = 0,
    // Another process or thread is using the storage: try again later.
    STATUS_BUSY = 1,
    STATUS_INVALID_ARGUMENT = 2,
    STATUS_FAILED = 4,
  };

  // The folder for the file that serves when the registry cannot be written.
  virtual void SetFallbackFolder(const base::FilePath& folder) {}
  // Stores |value| under |key|; an empty value deletes the key.
  virtual Status Write(const std::string& key, const std::string& value) = 0;
  // The value of |key|, empty when there is none.
  virtual Status Read(const std::string& key, std::string* value) = 0;
  virtual ~GlobalStorageBase() = default;
};

// The storage in the registry: one REG_SZ value per key under the company's key of
// HKEY_CURRENT_USER, names and data narrow (ANSI) text, the data kept without a
// terminating NUL. Where the registry cannot be written (or the process belongs to a
// stand-alone copy) the file "au_global_storage" of the fallback folder serves instead: a
// preference file whose "GS" dictionary holds the values.
//
// Processes and threads take turns through the named mutex "mevd_registry_mutex",
// without waiting: a Read or Write that finds it taken returns STATUS_BUSY at once.
class GlobalStorage : public GlobalStorageBase {
 public:
  // The process's storage under HKEY_CURRENT_USER\Software\<company>, made on first use;
  // every call runs the write-access probe (which acts only once).
  static GlobalStorage& Instance();

  // A storage under HKEY_CURRENT_USER\|registry_path|. |copy_only|: the process belongs
  // to a stand-alone copy, whose data stays out of the registry.
  GlobalStorage(const std::wstring& registry_path, bool copy_only);
  GlobalStorage(const GlobalStorage&) = delete;
  GlobalStorage& operator=(const GlobalStorage&) = delete;

  // Decides, the first time only, whether the fallback file replaces the registry.
  void ProbeWriteAccess();

  // Also moves the entries of an existing fallback file into the registry, unless the
  // registry was written already or is not used at all. The file is left in place.
  void SetFallbackFolder(const base::FilePath& folder) override;
  Status Write(const std::string& key, const std::string& value) override;
  Status Read(const std::string& key, std::string* value) override;
  ~GlobalStorage() override;

 private:
  // The access mutex, opened on first use; null when it cannot be.
  HANDLE GetMutex();
  base::FilePath GetFallbackPath() const;
  Status WriteToRegistry(const std::string& key, const std::string& value);
  Status ReadFromRegistry(const std::string& key, std::string* value) const;

  const std::wstring registry_path_;
  const bool copy_only_;

  mutable base::Lock lock_;
  base::win::ScopedHandle mutex_;  // Under lock_.
  base::FilePath fallback_path_;   // Under lock_.
  bool probed_ = false;            // Under lock_.

  // All reads and writes go to the fallback file.
  std::atomic<bool> use_fallback_{false};
  // The last registry write or delete succeeded.
  std::atomic<bool> registry_written_{false};
  // SetFallbackFolder is copying the fallback entries into the registry.
  std::atomic<bool> migrating_{false};
};

}  // namespace installer

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_
