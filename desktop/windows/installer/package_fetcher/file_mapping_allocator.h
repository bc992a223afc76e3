#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FILE_MAPPING_ALLOCATOR_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FILE_MAPPING_ALLOCATOR_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include <lzmasdk/7zTypes.h>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

// The LZMA SDK allocator for the decoder's main buffer (the decoded data of one 7z
// folder, as large as the package). The buffer lives in a writable view of a temporary
// file, opened delete-on-close in the destination folder, so that unpacking needs little
// memory of its own and the file disappears even when the process ends mid-way.
//
// One file-backed block at a time: a request made while a view is in use, a request the
// file cannot back, and every request before the file is open, are served from the heap.
//
// A view that cannot be paged in (an in-page error, see ScopedInPageErrorHandler) is
// swapped by OnViewFault for zero-filled memory, so that the faulting code runs on to a
// failure it can report; view_failed() then stays true.
//
// Allocate and Free belong to one thread; OnViewFault, IsInMappedView and the failure
// state may be used from any thread while the view is in use.
class FileMappingAllocator {
 public:
  // Creates the temporary file in |folder|. When that fails every block comes from the
  // heap (logged).
  explicit FileMappingAllocator(const base::FilePath& folder);
  // Unmaps what is still mapped; closing the file deletes it.
  ~FileMappingAllocator();

  FileMappingAllocator(const FileMappingAllocator&) = delete;
  FileMappingAllocator& operator=(const FileMappingAllocator&) = delete;

  // The pair to hand to the decoder. Valid as long as this object.
  ISzAllocPtr sz_alloc() const { return &interface_.functions; }

  // Null for size 0 or when even the heap has no room.
  void* Allocate(size_t size);
  // Gives back a block from Allocate (null does nothing).
  void Free(void* address);

  // Whether |address| lies in the current view.
  bool IsInMappedView(const void* address) const;

  // Called from an exception handler for a fault at |address| with |nt_status|. When the
  // address is in the current view, the view is unmapped and its range reserved again,
  // the failure recorded, and the pages around the address committed; when it is in a
  // range replaced that way, the pages around it are committed. True when the faulting
  // access can be retried.
  bool OnViewFault(const void* address, uint32_t nt_status);

  // Whether a view was replaced after a fault, and the NT status of that fault.
  bool view_failed() const { return view_failed_.load(std::memory_order_acquire); }
  uint32_t fault_status() const { return fault_status_; }

 private:
  // What the decoder receives: the SDK's function pair, then the way back to the object.
  struct Interface {
    ISzAlloc functions;
    FileMappingAllocator* owner;
  };

  // Owns one address range (a mapped view, or a reservation), given back by |release|
  // (which logs a failure).
  class ScopedRange {
   public:
    using Release = void (*)(void* address);
    explicit ScopedRange(Release release) : release_(release) {}
    ~ScopedRange() { Reset(nullptr); }
    ScopedRange(const ScopedRange&) = delete;
    ScopedRange& operator=(const ScopedRange&) = delete;
    void* get() const { return address_; }
    // Gives back the current range and takes |address|.
    void Reset(void* address);

   private:
    const Release release_;
    void* address_ = nullptr;
  };

  // Holds |lock_| exclusively for a scope. A bare slim lock: it is taken inside
  // exception handlers, where nothing may allocate.
  class FaultLock {
   public:
    explicit FaultLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
    ~FaultLock() { ::ReleaseSRWLockExclusive(lock_); }
    FaultLock(const FaultLock&) = delete;
    FaultLock& operator=(const FaultLock&) = delete;

   private:
    SRWLOCK* lock_;
  };

  static void* AllocateThunk(ISzAllocPtr functions, size_t size);
  static void FreeThunk(ISzAllocPtr functions, void* address);

  // The block in the temporary file, or null (logged) when the file cannot back it.
  void* MapBlock(size_t size);
  // Commits the part of the replaced range around |address|; |lock_| is held.
  bool CommitZeroPages(const void* address);

  Interface interface_;
  base::FilePath temp_path_;
  base::File temp_file_;
  // Guards the view and its replacement against faults on other threads.
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  base::win::ScopedHandle mapping_;
  ScopedRange view_;
  size_t view_size_ = 0;
  // The range that replaced a failed view, and its size.
  ScopedRange replacement_;
  size_t replacement_size_ = 0;
  std::atomic<bool> view_failed_{false};
  uint32_t fault_status_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FILE_MAPPING_ALLOCATOR_H_
