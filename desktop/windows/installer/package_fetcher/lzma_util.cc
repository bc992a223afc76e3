#include "desktop/windows/installer/package_fetcher/lzma_util.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <lzmasdk/7z.h>
#include <lzmasdk/7zAlloc.h>
#include <lzmasdk/7zCrc.h>

#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"
#include "desktop/windows/installer/package_fetcher/archive_input_stream.h"
#include "desktop/windows/installer/package_fetcher/entry_path_set.h"
#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"
#include "desktop/windows/installer/package_fetcher/folder_decoder.h"
#include "desktop/windows/installer/package_fetcher/in_page_error_handler.h"
#include "desktop/windows/installer/package_fetcher/joining_thread.h"

namespace installer {

namespace {

// The folder index of entries without data (folders, and empty files outside a folder's
// files).
constexpr UInt32 kNoFolder = static_cast<UInt32>(-1);
// The largest single WriteFile request.
constexpr size_t kMaxWriteChunk = 1u << 30;
// Threads writing out the entries of a folder, the calling thread included.
constexpr size_t kWriterThreads = 3;

// The archive database comes from the heap.
const ISzAlloc kHeapAlloc = {&SzAlloc, &SzFree};

// Reads a byte of every page of [data, data + size).
void TouchPages(const Byte* data, size_t size) {
  constexpr size_t kPageSize = 4096;
  const volatile Byte* bytes = data;
  for (size_t offset = 0; offset < size; offset += kPageSize)
    (void)bytes[offset];
  if (size != 0)
    (void)bytes[size - 1];
}

// Frees the archive database when it goes.
class ScopedArchiveDatabase {
 public:
  ScopedArchiveDatabase() { SzArEx_Init(&db_); }
  ~ScopedArchiveDatabase() { SzArEx_Free(&db_, &kHeapAlloc); }
  ScopedArchiveDatabase(const ScopedArchiveDatabase&) = delete;
  ScopedArchiveDatabase& operator=(const ScopedArchiveDatabase&) = delete;
  CSzArEx* get() { return &db_; }

 private:
  CSzArEx db_;
};

// Gives a block back to its allocator when it goes.
class ScopedBlock {
 public:
  ScopedBlock(FileMappingAllocator* allocator, size_t size)
      : allocator_(allocator), block_(static_cast<Byte*>(allocator->Allocate(size))) {}
  ~ScopedBlock() { allocator_->Free(block_); }
  ScopedBlock(const ScopedBlock&) = delete;
  ScopedBlock& operator=(const ScopedBlock&) = delete;
  Byte* get() const { return block_; }

 private:
  FileMappingAllocator* const allocator_;
  Byte* const block_;
};

}  // namespace

// One run of UnPack over an opened archive database.
class LzmaUtil::Extraction {
 public:
  Extraction(LzmaUtil* owner,
             const CSzArEx* db,
             const base::FilePath& location,
             std::vector<base::FilePath>* output_files)
      : owner_(owner),
        db_(db),
        location_(location.StripTrailingSeparators()),
        output_files_(output_files),
        thread_id_(::GetCurrentThreadId()) {}

  Extraction(const Extraction&) = delete;
  Extraction& operator=(const Extraction&) = delete;

  DWORD Run();

 private:
  struct Entry {
    UInt32 index;
    base::FilePath path;
    UInt32 folder;  // kNoFolder for folders and for empty files outside a folder's files.
    size_t offset;  // In the decoded folder.
    size_t size;
  };

  // The entries of one folder waiting to be written, by the part of the folder their
  // data starts in: a part decodes from its start on, so only the first entry of each
  // queue can be ready next.
  struct WriteQueue {
    std::vector<std::vector<const Entry*>> parts;
    std::vector<size_t> next;
    size_t left = 0;  // Not yet taken by a writer.
  };

  // Reads and checks every entry before anything is written: each name must stay below the
  // destination, and no two entries may reach one file there (which one was meant cannot
  // be told, and writing both would let the last writer win).
  DWORD ReadEntries();
  // Decodes |folder| and writes its entries as their data becomes ready; runs |meanwhile|
  // (when set) on this thread once the decoding has started, before writing.
  DWORD ExtractFolder(UInt32 folder,
                      const std::vector<const Entry*>& entries,
                      std::function<DWORD()> meanwhile);
  // Creates the folders and the empty files outside a folder's files.
  DWORD WriteEntriesWithoutData(const std::vector<const Entry*>& entries);
  // Writes entries of |queue| as |decoder| makes them ready, until none is left or the
  // unpacking failed; on several threads at once.
  void WriteReadyEntries(FolderDecoder* decoder, const Byte* data, WriteQueue* queue);
  // Checks the entry's CRC in |data| (its decoded bytes) and writes the file.
  DWORD WriteEntry(const Entry& entry, const Byte* data);
  // A folder made and held through the unpacking, checked once to be no link and to lie
  // where its path says: a user may change the destination while an elevated process
  // unpacks, and a link there would lead the files it writes anywhere.
  struct HeldFolder {
    base::win::ScopedHandle handle;
    base::FilePath final_path;
  };

  // Makes and holds |folder| with its parents, once per unpacking; the unpacking fails
  // when a folder cannot be made or is found to be a link.
  DWORD CreateFolder(const base::FilePath& folder);
  // Where |folder| lies, made and held (with |folders_lock_| taken); empty, logged, with the
  // last error set, when it cannot be.
  base::FilePath HoldFolder(const base::FilePath& folder);
  DWORD FolderFailure(const base::FilePath& folder, DWORD error);
  // Records the failure, the first one of the unpacking only, and returns its error.
  DWORD Fail(UnpackStatus status, DWORD error);
  DWORD ExtractFailure(SRes result);
  DWORD InPageFailure();
  // Tells the delegate the number of entries done, when it changed; on the calling thread.
  void ReportProgress();

  LzmaUtil* const owner_;
  const CSzArEx* const db_;
  const base::FilePath location_;
  std::vector<base::FilePath>* const output_files_;
  const DWORD thread_id_;  // The calling thread's: it alone talks to the delegate.
  std::unique_ptr<FileMappingAllocator> allocator_;
  std::vector<Entry> entries_;
  std::atomic<int32_t> entries_done_{0};
  int32_t entries_reported_ = 0;

  // Taken alone: making a folder waits for nothing else.
  base::Lock folders_lock_;
  std::map<base::FilePath, HeldFolder> folders_;

  // Guards the owner's status, the write queues and the failure.
  base::Lock lock_;
  bool failed_ = false;
  DWORD failure_ = ERROR_SUCCESS;
};

DWORD LzmaUtil::Extraction::Run() {
  DWORD result = ReadEntries();
  if (result != ERROR_SUCCESS)
    return result;

  // The decoded data's file lives in the destination, which must exist for it.
  result = CreateFolder(location_);
  if (result != ERROR_SUCCESS)
    return result;
  allocator_ = std::make_unique<FileMappingAllocator>(location_);
  ScopedInPageErrorHandler faults(allocator_.get());
  if (owner_->delegate_)
    owner_->delegate_->SetTotalProgress(static_cast<int32_t>(db_->NumFiles));

  std::vector<std::vector<const Entry*>> by_folder(db_->db.NumFolders);
  std::vector<const Entry*> without_data;
  for (const Entry& entry : entries_) {
    if (entry.folder != kNoFolder)
      by_folder[entry.folder].push_back(&entry);
    else
      without_data.push_back(&entry);
  }
  // Entries without data (folders, empty files) are made while the first folder decodes:
  // each costs a few calls into the system, and nothing waits for them.
  std::function<DWORD()> meanwhile = [this, &without_data]() {
    return WriteEntriesWithoutData(without_data);
  };
  for (UInt32 folder = 0; folder < db_->db.NumFolders; ++folder) {
    if (by_folder[folder].empty())
      continue;
    result = ExtractFolder(folder, by_folder[folder], std::move(meanwhile));
    meanwhile = nullptr;
    if (result != ERROR_SUCCESS)
      return result;
  }
  if (meanwhile && (result = meanwhile()) != ERROR_SUCCESS)
    return result;
  return allocator_->view_failed() ? InPageFailure() : ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::WriteEntriesWithoutData(const std::vector<const Entry*>& entries) {
  for (const Entry* entry : entries) {
    if (SzArEx_IsDir(db_, entry->index)) {
      const DWORD result = CreateFolder(entry->path);
      if (result != ERROR_SUCCESS)
        return result;
      ++entries_done_;
    } else {
      const DWORD result = WriteEntry(*entry, nullptr);
      if (result != ERROR_SUCCESS)
        return result;
    }
    ReportProgress();
  }
  return ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::ReadEntries() {
  entries_.reserve(db_->NumFiles);
  EntryPathSet paths;
  for (UInt32 index = 0; index < db_->NumFiles; ++index) {
    const size_t length = SzArEx_GetFileNameUtf16(db_, index, nullptr);
    if (length == 0) {
      LOG(ERROR) << "Couldn't get file name";
      return Fail(kUnpackNameError, ERROR_INVALID_HANDLE);
    }
    std::wstring name(length, L'\0');
    SzArEx_GetFileNameUtf16(db_, index, reinterpret_cast<UInt16*>(&name[0]));
    name.resize(length - 1);
    if (!IsSafeArchiveEntryName(name)) {
      LOG(ERROR) << "Refusing the archive entry \"" << name
                 << "\": it would not be written as a file below " << location_;
      return Fail(kUnpackNameError, ERROR_INVALID_NAME);
    }
    // A folder entry has no data, also where it stands among the files of a solid folder
    // (which gives it that folder's index).
    const bool is_folder = SzArEx_IsDir(db_, index);
    if (!paths.Add(name, is_folder)) {
      LOG(ERROR) << "Refusing the archive entry \"" << name
                 << "\": an entry before it reaches the same name below " << location_;
      return Fail(kUnpackNameError, ERROR_INVALID_NAME);
    }
    Entry entry = {index,
                   location_.Append(name).NormalizePathSeparators().StripTrailingSeparators(),
                   is_folder ? kNoFolder : db_->FileToFolder[index], 0, 0};
    if (entry.folder != kNoFolder) {
      const UInt64 folder_start = db_->UnpackPositions[db_->FolderToFile[entry.folder]];
      const UInt64 offset = db_->UnpackPositions[index] - folder_start;
      const UInt64 size = SzArEx_GetFileSize(db_, index);
      if (offset + size > SzAr_GetFolderUnpackSize(&db_->db, entry.folder) ||
          static_cast<size_t>(offset + size) != offset + size) {
        return ExtractFailure(SZ_ERROR_FAIL);
      }
      entry.offset = static_cast<size_t>(offset);
      entry.size = static_cast<size_t>(size);
    }
    entries_.push_back(std::move(entry));
  }
  if (output_files_) {
    for (const Entry& entry : entries_)
      output_files_->push_back(entry.path);
  }
  return ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::ExtractFolder(UInt32 folder,
                                          const std::vector<const Entry*>& entries,
                                          std::function<DWORD()> meanwhile) {
  const UInt64 unpack_size = SzAr_GetFolderUnpackSize(&db_->db, folder);
  const size_t size = static_cast<size_t>(unpack_size);
  if (size != unpack_size)
    return ExtractFailure(SZ_ERROR_MEM);
  // The block outlives the decoder, whose workers write into it.
  ScopedBlock block(allocator_.get(), size);
  if (!block.get() && size != 0)
    return ExtractFailure(SZ_ERROR_MEM);
  FolderDecoder decoder(db_, folder, owner_->archive_.Get(), block.get(), size, allocator_.get());
  if (!decoder.Start())
    return ExtractFailure(decoder.error());
  if (meanwhile) {
    const DWORD result = meanwhile();
    if (result != ERROR_SUCCESS) {
      decoder.Cancel();
      return result;
    }
  }

  // A checksum over the whole folder must hold before any of it is written.
  if (SzBitWithVals_Check(&db_->db.FolderCRCs, folder)) {
    const SRes decoded = decoder.WaitUntilDone();
    if (allocator_->view_failed())
      return InPageFailure();
    if (decoded != SZ_OK)
      return ExtractFailure(decoded);
    if (CrcCalc(block.get(), size) != db_->db.FolderCRCs.Vals[folder])
      return allocator_->view_failed() ? InPageFailure() : ExtractFailure(SZ_ERROR_CRC);
  }

  WriteQueue queue;
  const std::vector<size_t>& starts = decoder.part_starts();
  queue.parts.resize(starts.size());
  queue.next.resize(starts.size(), 0);
  for (const Entry* entry : entries) {
    const size_t part = static_cast<size_t>(
        std::upper_bound(starts.begin(), starts.end(), entry->offset) - starts.begin() - 1);
    queue.parts[part].push_back(entry);
  }
  queue.left = entries.size();

  // Creating a file costs more than writing its data; several writers keep the system
  // busy with that while the decoders run. This thread writes too.
  const size_t helpers = std::min<size_t>(kWriterThreads - 1, entries.size() / 2);
  std::vector<std::unique_ptr<JoiningThread>> writers;
  for (size_t i = 0; i < helpers; ++i) {
    auto writer = std::make_unique<JoiningThread>([this, &decoder, &block, &queue] {
      ScopedInPageErrorHandler faults(allocator_.get());
      WriteReadyEntries(&decoder, block.get(), &queue);
    });
    if (writer->Start())
      writers.push_back(std::move(writer));
  }
  WriteReadyEntries(&decoder, block.get(), &queue);
  writers.clear();
  ReportProgress();

  {
    base::AutoLock lock(lock_);
    if (failed_)
      return failure_;
  }
  return allocator_->view_failed() ? InPageFailure() : ERROR_SUCCESS;
}

void LzmaUtil::Extraction::WriteReadyEntries(FolderDecoder* decoder,
                                             const Byte* data,
                                             WriteQueue* queue) {
  const bool reports = ::GetCurrentThreadId() == thread_id_;
  for (;;) {
    // Both taken before looking for ready data, so that data decoded meanwhile is found
    // on the next round instead of being missed.
    const uint64_t seen = decoder->generation();
    const bool decoder_done = decoder->done();
    const Entry* ready = nullptr;
    {
      base::AutoLock lock(lock_);
      if (failed_ || queue->left == 0)
        return;
      for (size_t part = 0; part < queue->parts.size() && !ready; ++part) {
        if (queue->next[part] == queue->parts[part].size())
          continue;
        const Entry* entry = queue->parts[part][queue->next[part]];
        if (decoder->IsDecoded(entry->offset, entry->offset + entry->size)) {
          ready = entry;
          ++queue->next[part];
          --queue->left;
        }
      }
    }
    if (ready) {
      if (WriteEntry(*ready, data + ready->offset) != ERROR_SUCCESS) {
        decoder->Cancel();
        return;
      }
      if (reports)
        ReportProgress();
      continue;
    }
    if (allocator_->view_failed()) {
      InPageFailure();
      return;
    }
    if (decoder->error() != SZ_OK || decoder_done) {
      // Every worker had ended, yet data is missing: they failed.
      ExtractFailure(decoder->error() != SZ_OK ? decoder->error() : SZ_ERROR_FAIL);
      return;
    }
    decoder->WaitForProgress(seen);
  }
}

DWORD LzmaUtil::Extraction::WriteEntry(const Entry& entry, const Byte* data) {
  // Data that does not match may have been read from a view that failed meanwhile.
  if (SzBitWithVals_Check(&db_->CRCs, entry.index) &&
      CrcCalc(data, entry.size) != db_->CRCs.Vals[entry.index]) {
    return allocator_->view_failed() ? InPageFailure() : ExtractFailure(SZ_ERROR_CRC);
  }
  base::FilePath folder;
  {
    base::AutoLock lock(folders_lock_);
    folder = HoldFolder(entry.path.DirName());
  }
  if (folder.empty())
    return FolderFailure(entry.path.DirName(), ::GetLastError());
  // Whatever has the name already is replaced, never written through.
  base::win::ScopedHandle file = base::CreateNewInHeldFolder(folder, entry.path, GENERIC_WRITE, 0,
                                                             FILE_ATTRIBUTE_NORMAL);
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_CANT_ACCESS_FILE)
      LOG(ERROR) << "A link was found at " << entry.path << "; nothing is written through it";
    ELOG(ERROR, error) << "Error returned by CreateFile: " << error << " for " << entry.path;
    return Fail(kUnpackCreateFileError, error);
  }

  for (size_t done = 0; done < entry.size;) {
    const DWORD wanted = static_cast<DWORD>(std::min(entry.size - done, kMaxWriteChunk));
    DWORD written = 0;
    if (!::WriteFile(file.Get(), data + done, wanted, &written, nullptr) || written != wanted) {
      // The system reads the data without raising the view's faults; reading it here
      // raises them, so that a view that failed is reported as such.
      DWORD error = ::GetLastError();
      TouchPages(data + done, wanted);
      if (allocator_->view_failed())
        return InPageFailure();
      // A short write without an error still must not come back as success.
      if (error == ERROR_SUCCESS)
        error = ERROR_WRITE_FAULT;
      LOG(ERROR) << "Error returned by WriteFile: " << logging::SystemErrorCodeToString(error)
                 << " (" << entry.path << ")";
      return Fail(kUnpackWriteFileError, error);
    }
    done += written;
  }

  if (SzBitWithVals_Check(&db_->MTime, entry.index)) {
    const FILETIME modified = {db_->MTime.Vals[entry.index].Low, db_->MTime.Vals[entry.index].High};
    if (!::SetFileTime(file.Get(), nullptr, nullptr, &modified)) {
      const DWORD error = ::GetLastError();
      LOG(ERROR) << "Error returned by SetFileTime: " << logging::SystemErrorCodeToString(error)
                 << " (" << entry.path << ")";
      return Fail(kUnpackSetFileTimeError, error);
    }
  }

  if (!base::win::CloseTrackedHandle(file.Take())) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "Error returned by CloseHandle: " << error << " (" << entry.path << ")";
    return Fail(kUnpackCloseFileError, error);
  }
  ++entries_done_;
  return ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::CreateFolder(const base::FilePath& folder) {
  base::AutoLock lock(folders_lock_);
  if (HoldFolder(folder).empty())
    return FolderFailure(folder, ::GetLastError());
  return ERROR_SUCCESS;
}

base::FilePath LzmaUtil::Extraction::HoldFolder(const base::FilePath& folder) {
  const auto found = folders_.find(folder);
  if (found != folders_.end())
    return found->second.final_path;
  HeldFolder held;
  const base::FilePath parent = folder.DirName();
  const bool below_destination = folder != location_ && location_.IsParent(folder);
  if (below_destination || ::GetFileAttributesW(folder.value().c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Made in its held parent, so that only this folder itself needs checking.
    if (parent == folder) {
      ::SetLastError(ERROR_PATH_NOT_FOUND);
      return base::FilePath();
    }
    const base::FilePath parent_final_path = HoldFolder(parent);
    if (parent_final_path.empty())
      return base::FilePath();
    held.handle = base::MakeSubfolderWithoutLinks(parent_final_path, folder, &held.final_path);
  } else {
    // An existing destination (or a folder above it): checked with every folder above.
    held.handle = base::HoldFolderWithoutLinks(folder);
    if (held.handle.IsValid())
      held.final_path = base::GetFinalPath(held.handle.Get());
  }
  if (!held.handle.IsValid() || held.final_path.empty())
    return base::FilePath();
  const base::FilePath final_path = held.final_path;
  folders_.emplace(folder, std::move(held));
  return final_path;
}

DWORD LzmaUtil::Extraction::FolderFailure(const base::FilePath& folder, DWORD error) {
  if (error == ERROR_SUCCESS)
    error = ERROR_PATH_NOT_FOUND;
  if (error == ERROR_CANT_ACCESS_FILE)
    LOG(ERROR) << "A link was found at " << folder << " or above; nothing is written through it";
  // Said as a file below it would fail.
  ELOG(ERROR, error) << "Error returned by CreateFile: " << error << " for " << folder;
  return Fail(kUnpackCreateFileError, error);
}

DWORD LzmaUtil::Extraction::Fail(UnpackStatus status, DWORD error) {
  base::AutoLock lock(lock_);
  if (failed_)
    return failure_;
  failed_ = true;
  failure_ = error;
  owner_->status_ = status;
  if (status == kUnpackInPageError)
    owner_->nt_status_ = allocator_->fault_status();
  return error;
}

DWORD LzmaUtil::Extraction::ExtractFailure(SRes result) {
  LOG(ERROR) << "Error returned by SzExtract: " << result;
  return Fail(kUnpackExtractError, ERROR_INVALID_HANDLE);
}

DWORD LzmaUtil::Extraction::InPageFailure() {
  LOG(ERROR) << "EXCEPTION_IN_PAGE_ERROR while accessing mapped memory; NTSTATUS = "
             << base::StringPrintf("0x%08X", allocator_->fault_status());
  return Fail(kUnpackInPageError, ERROR_IO_DEVICE);
}

void LzmaUtil::Extraction::ReportProgress() {
  const int32_t done = entries_done_.load();
  if (!owner_->delegate_ || done == entries_reported_)
    return;
  entries_reported_ = done;
  owner_->delegate_->SetCurrentProgress(done);
}

LzmaUtil::LzmaUtil() = default;

LzmaUtil::~LzmaUtil() {
  CloseArchive();
}

DWORD LzmaUtil::OpenArchive(const base::FilePath& archive) {
  CloseArchive();
  archive_.Set(::CreateFileW(archive.value().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (archive_.IsValid()) {
    status_ = kUnpackNoError;
    return ERROR_SUCCESS;
  }
  const DWORD error = ::GetLastError();
  ELOG(ERROR, error) << "Cannot open the archive " << archive;
  status_ = error == ERROR_FILE_NOT_FOUND ? kUnpackArchiveNotFound : kUnpackArchiveCannotOpen;
  return error;
}

DWORD LzmaUtil::OpenArchive(base::win::ScopedHandle archive) {
  CloseArchive();
  if (!archive.IsValid()) {
    status_ = kUnpackArchiveCannotOpen;
    return ERROR_INVALID_HANDLE;
  }
  archive_ = std::move(archive);
  status_ = kUnpackNoError;
  return ERROR_SUCCESS;
}

void LzmaUtil::CloseArchive() {
  archive_.Close();
}

DWORD LzmaUtil::UnPack(const base::FilePath& location, std::vector<base::FilePath>* output_files) {
  if (!archive_.IsValid())
    return ERROR_INVALID_HANDLE;
  status_ = kUnpackNoError;
  nt_status_ = 0;

  static const bool crc_table_ready = (CrcGenerateTable(), true);
  (void)crc_table_ready;
  // The database is read from the start of the file, also on a second UnPack.
  ArchiveInputStream input(archive_.Get(), nullptr);
  Int64 start = 0;
  ScopedArchiveDatabase db;
  SRes result = ILookInStream_Seek(input.look_stream(), &start, SZ_SEEK_SET);
  if (result == SZ_OK)
    result = SzArEx_Open(db.get(), input.look_stream(), &kHeapAlloc, &kHeapAlloc);
  if (result != SZ_OK) {
    LOG(ERROR) << "Error returned by SzArchiveOpen: " << result;
    status_ = kUnpackHeaderError;
    return ERROR_INVALID_HANDLE;
  }
  Extraction extraction(this, db.get(), location, output_files);
  return extraction.Run();
}

}  // namespace installer
