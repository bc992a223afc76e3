#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"

#include <algorithm>
#include <utility>

#include <lzmasdk/7zAlloc.h>

#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"

namespace installer {

namespace {


// Zero pages are committed in steps of this size, so that code running on through a
// replaced range faults seldom.
constexpr uintptr_t kCommitStep = 64 * 1024;

void UnmapView(void* view) {
  if (!::UnmapViewOfFile(view))
    PLOG(ERROR) << "UnmapViewOfFile failed";
}

void ReleaseReservation(void* range) {
  if (!::VirtualFree(range, 0, MEM_RELEASE))
    PLOG(ERROR) << "VirtualFree failed";
}

bool IsInRange(const void* address, const void* start, size_t size) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(address);
  const uintptr_t begin = reinterpret_cast<uintptr_t>(start);
  return start && value >= begin && value - begin < size;
}

}  // namespace

void FileMappingAllocator::ScopedRange::Reset(void* address) {
  if (address_)
    release_(address_);
  address_ = address;
}

FileMappingAllocator::FileMappingAllocator(const base::FilePath& folder)
    : interface_{{&AllocateThunk, &FreeThunk}, this},
      view_(&UnmapView),
      replacement_(&ReleaseReservation) {
  // The folder may be one its user changes: the file is made anew in it, through no link.
  const base::win::ScopedHandle held = base::HoldFolderWithoutLinks(folder);
  if (!held.IsValid()) {
    LOG(ERROR) << "Cannot create a temporary file in " << folder
               << ": it is missing or a link; using the heap";
    return;
  }
  if (!base::CreateTemporaryFileInDir(folder, &temp_path_))
    return;
  temp_file_ = base::File(base::CreateNewInHeldFolder(
      base::GetFinalPath(held.Get()), temp_path_, GENERIC_READ | GENERIC_WRITE, 0,
      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE));
  if (!temp_file_.IsValid()) {
    ELOG(ERROR, temp_file_.error_details())
        << "Cannot open " << temp_path_ << " to hold the decoded data; using the heap";
    base::DeletePath(temp_path_, false);
  }
}

FileMappingAllocator::~FileMappingAllocator() {
  view_.Reset(nullptr);
  mapping_.Close();
  replacement_.Reset(nullptr);
}

void* FileMappingAllocator::AllocateThunk(ISzAllocPtr functions, size_t size) {
  return reinterpret_cast<const Interface*>(functions)->owner->Allocate(size);
}

void FileMappingAllocator::FreeThunk(ISzAllocPtr functions, void* address) {
  reinterpret_cast<const Interface*>(functions)->owner->Free(address);
}

void* FileMappingAllocator::Allocate(size_t size) {
  if (size == 0)
    return nullptr;
  if (temp_file_.IsValid() && !view_.get() && !replacement_.get()) {
    if (void* block = MapBlock(size))
      return block;
  }
  return SzAlloc(nullptr, size);
}

void* FileMappingAllocator::MapBlock(size_t size) {
  if (!temp_file_.SetLength(static_cast<int64_t>(size)))
    return nullptr;
  const uint64_t size64 = size;
  base::win::ScopedHandle mapping(
      ::CreateFileMappingW(temp_file_.GetPlatformFile(), nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64), nullptr));
  if (!mapping.IsValid()) {
    PLOG(WARNING) << "CreateFileMapping of " << size << " bytes failed; using the heap";
    return nullptr;
  }
  void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, size);
  if (!view) {
    PLOG(WARNING) << "MapViewOfFile of " << size << " bytes failed; using the heap";
    return nullptr;
  }
  FaultLock lock(&lock_);
  view_.Reset(view);
  view_size_ = size;
  mapping_ = std::move(mapping);
  return view;
}

void FileMappingAllocator::Free(void* address) {
  if (!address)
    return;
  FaultLock lock(&lock_);
  if (address == view_.get()) {
    view_.Reset(nullptr);
    view_size_ = 0;
    mapping_.Close();
  } else if (address == replacement_.get()) {
    replacement_.Reset(nullptr);
    replacement_size_ = 0;
  } else {
    SzFree(nullptr, address);
  }
}

bool FileMappingAllocator::IsInMappedView(const void* address) const {
  FaultLock lock(&lock_);
  return IsInRange(address, view_.get(), view_size_);
}

bool FileMappingAllocator::OnViewFault(const void* address, uint32_t nt_status) {
  FaultLock lock(&lock_);
  if (IsInRange(address, replacement_.get(), replacement_size_))
    return CommitZeroPages(address);
  void* const range = view_.get();
  if (!IsInRange(address, range, view_size_))
    return false;
  // The range is free for a moment between unmapping and reserving it; a fault of
  // another thread meanwhile waits for the lock and then finds the replacement. Should
  // some other allocation take the range first, the fault is passed on as it came.
  view_.Reset(nullptr);
  mapping_.Close();
  const size_t size = view_size_;
  view_size_ = 0;
  void* reserved = ::VirtualAlloc(range, size, MEM_RESERVE, PAGE_NOACCESS);
  if (reserved != range) {
    if (reserved)
      ::VirtualFree(reserved, 0, MEM_RELEASE);
    return false;
  }
  replacement_.Reset(reserved);
  replacement_size_ = size;
  fault_status_ = nt_status;
  view_failed_.store(true, std::memory_order_release);
  return CommitZeroPages(address);
}

bool FileMappingAllocator::CommitZeroPages(const void* address) {
  const uintptr_t begin = reinterpret_cast<uintptr_t>(replacement_.get());
  const uintptr_t offset = (reinterpret_cast<uintptr_t>(address) - begin) & ~(kCommitStep - 1);
  const size_t length =
      static_cast<size_t>(std::min<uintptr_t>(kCommitStep, replacement_size_ - offset));
  return ::VirtualAlloc(reinterpret_cast<void*>(begin + offset), length, MEM_COMMIT,
                        PAGE_READWRITE) != nullptr;
}

}  // namespace installer
