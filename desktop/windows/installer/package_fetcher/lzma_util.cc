#include "desktop/windows/installer/package_fetcher/lzma_util.h"

#include <algorithm>
#include <memory>
#include <string>

#include <lzmasdk/7z.h>
#include <lzmasdk/7zAlloc.h>
#include <lzmasdk/7zCrc.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"
#include "desktop/windows/installer/package_fetcher/archive_input_stream.h"
#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"
#include "desktop/windows/installer/package_fetcher/folder_decoder.h"
#include "desktop/windows/installer/package_fetcher/in_page_error_handler.h"

namespace installer {

namespace {

// The folder index of entries without data (folders and empty files).
constexpr UInt32 kNoFolder = static_cast<UInt32>(-1);
// The largest single WriteFile request.
constexpr size_t kMaxWriteChunk = 1u << 30;

// The archive database comes from the heap.
const ISzAlloc kHeapAlloc = {&SzAlloc, &SzFree};

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
      : owner_(owner), db_(db), location_(location), output_files_(output_files) {}

  Extraction(const Extraction&) = delete;
  Extraction& operator=(const Extraction&) = delete;

  DWORD Run();

 private:
  struct Entry {
    UInt32 index;
    base::FilePath path;
    UInt32 folder;  // kNoFolder for folders and empty files.
    size_t offset;  // In the decoded folder.
    size_t size;
  };

  // Reads and checks every entry before anything is written.
  DWORD ReadEntries();
  // Decodes |folder| and writes its entries as their data becomes ready.
  DWORD ExtractFolder(UInt32 folder, const std::vector<const Entry*>& entries);
  // Checks the entry's CRC in |data| (its decoded bytes) and writes the file.
  DWORD WriteEntry(const Entry& entry, const Byte* data);
  // Creates |folder| with its parents, once per unpacking. Failure shows later, as a
  // failure to create a file in it.
  void CreateFolder(const base::FilePath& folder);
  DWORD ExtractFailure(SRes result);
  DWORD InPageFailure();

  LzmaUtil* const owner_;
  const CSzArEx* const db_;
  const base::FilePath location_;
  std::vector<base::FilePath>* const output_files_;
  std::unique_ptr<FileMappingAllocator> allocator_;
  std::vector<Entry> entries_;
  int32_t entries_done_ = 0;
};

DWORD LzmaUtil::Extraction::Run() {
  DWORD result = ReadEntries();
  if (result != ERROR_SUCCESS)
    return result;

  // The decoded data's file lives in the destination, which must exist for it.
  CreateFolder(location_);
  allocator_ = std::make_unique<FileMappingAllocator>(location_);
  ScopedInPageErrorHandler faults(allocator_.get());
  if (owner_->delegate_)
    owner_->delegate_->SetTotalProgress(static_cast<int32_t>(db_->NumFiles));

  // Entries without data first: nothing waits for them.
  std::vector<std::vector<const Entry*>> by_folder(db_->db.NumFolders);
  for (const Entry& entry : entries_) {
    if (entry.folder != kNoFolder) {
      by_folder[entry.folder].push_back(&entry);
    } else if (SzArEx_IsDir(db_, entry.index)) {
      CreateFolder(entry.path);
      if (owner_->delegate_)
        owner_->delegate_->SetCurrentProgress(++entries_done_);
    } else if ((result = WriteEntry(entry, nullptr)) != ERROR_SUCCESS) {
      return result;
    }
  }
  for (UInt32 folder = 0; folder < db_->db.NumFolders; ++folder) {
    if (by_folder[folder].empty())
      continue;
    result = ExtractFolder(folder, by_folder[folder]);
    if (result != ERROR_SUCCESS)
      return result;
  }
  return allocator_->view_failed() ? InPageFailure() : ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::ReadEntries() {
  entries_.reserve(db_->NumFiles);
  for (UInt32 index = 0; index < db_->NumFiles; ++index) {
    const size_t length = SzArEx_GetFileNameUtf16(db_, index, nullptr);
    if (length == 0) {
      LOG(ERROR) << "Couldn't get file name";
      owner_->status_ = kUnpackNameError;
      return ERROR_INVALID_HANDLE;
    }
    std::wstring name(length, L'\0');
    SzArEx_GetFileNameUtf16(db_, index, reinterpret_cast<UInt16*>(&name[0]));
    name.resize(length - 1);
    if (!IsSafeArchiveEntryName(name)) {
      LOG(ERROR) << "Refusing the archive entry \"" << name
                 << "\": it would not be written as a file below " << location_;
      owner_->status_ = kUnpackNameError;
      return ERROR_INVALID_NAME;
    }
    Entry entry = {index,
                   location_.Append(name).NormalizePathSeparators().StripTrailingSeparators(),
                   db_->FileToFolder[index], 0, 0};
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

DWORD LzmaUtil::Extraction::ExtractFolder(UInt32 folder, const std::vector<const Entry*>& entries) {
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

  // A checksum over the whole folder must hold before any of it is written.
  if (SzBitWithVals_Check(&db_->db.FolderCRCs, folder)) {
    for (uint64_t seen = decoder.generation(); !decoder.IsDecoded(0, size);
         seen = decoder.generation()) {
      if (allocator_->view_failed())
        return InPageFailure();
      if (decoder.error() != SZ_OK || decoder.done())
        return ExtractFailure(decoder.error() != SZ_OK ? decoder.error() : SZ_ERROR_FAIL);
      decoder.WaitForProgress(seen);
    }
    if (CrcCalc(block.get(), size) != db_->db.FolderCRCs.Vals[folder])
      return ExtractFailure(SZ_ERROR_CRC);
  }

  // Each part of the folder decodes from its start on: its entries are written in order,
  // those of all parts taken in turn as their data arrives.
  const std::vector<size_t>& starts = decoder.part_starts();
  std::vector<std::vector<const Entry*>> queues(starts.size());
  for (const Entry* entry : entries) {
    const size_t part = static_cast<size_t>(
        std::upper_bound(starts.begin(), starts.end(), entry->offset) - starts.begin() - 1);
    queues[part].push_back(entry);
  }
  std::vector<size_t> next(queues.size(), 0);
  size_t remaining = entries.size();
  while (remaining != 0) {
    const uint64_t seen = decoder.generation();
    bool wrote = false;
    for (size_t part = 0; part < queues.size(); ++part) {
      while (next[part] < queues[part].size()) {
        const Entry& entry = *queues[part][next[part]];
        if (allocator_->view_failed())
          return InPageFailure();
        if (!decoder.IsDecoded(entry.offset, entry.offset + entry.size))
          break;
        const DWORD result = WriteEntry(entry, block.get() + entry.offset);
        if (result != ERROR_SUCCESS)
          return result;
        ++next[part];
        --remaining;
        wrote = true;
      }
    }
    if (remaining == 0 || wrote)
      continue;
    if (allocator_->view_failed())
      return InPageFailure();
    if (decoder.error() != SZ_OK)
      return ExtractFailure(decoder.error());
    if (decoder.done())  // Every worker ended, yet data is missing.
      return ExtractFailure(SZ_ERROR_FAIL);
    decoder.WaitForProgress(seen);
  }
  return allocator_->view_failed() ? InPageFailure() : ERROR_SUCCESS;
}

DWORD LzmaUtil::Extraction::WriteEntry(const Entry& entry, const Byte* data) {
  // Data that does not match may have been read from a view that failed meanwhile.
  if (SzBitWithVals_Check(&db_->CRCs, entry.index) &&
      CrcCalc(data, entry.size) != db_->CRCs.Vals[entry.index]) {
    return allocator_->view_failed() ? InPageFailure() : ExtractFailure(SZ_ERROR_CRC);
  }
  CreateFolder(entry.path.DirName());
  base::win::ScopedHandle file(::CreateFileW(entry.path.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    ELOG(ERROR, error) << "Error returned by CreateFile: " << error << " for " << entry.path;
    owner_->status_ = kUnpackCreateFileError;
    return error;
  }

  for (size_t done = 0; done < entry.size;) {
    const DWORD wanted = static_cast<DWORD>(std::min(entry.size - done, kMaxWriteChunk));
    DWORD written = 0;
    if (!::WriteFile(file.Get(), data + done, wanted, &written, nullptr) || written != wanted) {
      // A short write without an error still must not come back as success.
      DWORD error = ::GetLastError();
      if (allocator_->view_failed())
        return InPageFailure();
      if (error == ERROR_SUCCESS)
        error = ERROR_WRITE_FAULT;
      LOG(ERROR) << "Error returned by WriteFile: " << logging::SystemErrorCodeToString(error)
                 << " (" << entry.path << ")";
      owner_->status_ = kUnpackWriteFileError;
      return error;
    }
    done += written;
  }

  if (SzBitWithVals_Check(&db_->MTime, entry.index)) {
    const FILETIME modified = {db_->MTime.Vals[entry.index].Low, db_->MTime.Vals[entry.index].High};
    if (!::SetFileTime(file.Get(), nullptr, nullptr, &modified)) {
      const DWORD error = ::GetLastError();
      LOG(ERROR) << "Error returned by SetFileTime: " << logging::SystemErrorCodeToString(error)
                 << " (" << entry.path << ")";
      owner_->status_ = kUnpackSetFileTimeError;
      return error;
    }
  }

  if (!base::win::CloseTrackedHandle(file.Take())) {
    const DWORD error = ::GetLastError();
    LOG(ERROR) << "Error returned by CloseHandle: " << error << " (" << entry.path << ")";
    owner_->status_ = kUnpackCloseFileError;
    return error;
  }
  if (owner_->delegate_)
    owner_->delegate_->SetCurrentProgress(++entries_done_);
  return ERROR_SUCCESS;
}

void LzmaUtil::Extraction::CreateFolder(const base::FilePath& folder) {
  if (owner_->created_folders_.count(folder))
    return;
  if (base::CreateDirectory(folder))
    owner_->created_folders_.insert(folder);
}

DWORD LzmaUtil::Extraction::ExtractFailure(SRes result) {
  LOG(ERROR) << "Error returned by SzExtract: " << result;
  owner_->status_ = kUnpackExtractError;
  return ERROR_INVALID_HANDLE;
}

DWORD LzmaUtil::Extraction::InPageFailure() {
  owner_->nt_status_ = allocator_->fault_status();
  LOG(ERROR) << "EXCEPTION_IN_PAGE_ERROR while accessing mapped memory; NTSTATUS = "
             << base::StringPrintf("0x%08X", owner_->nt_status_);
  owner_->status_ = kUnpackInPageError;
  return ERROR_IO_DEVICE;
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

void LzmaUtil::CloseArchive() {
  archive_.Close();
  created_folders_.clear();
}

DWORD LzmaUtil::UnPack(const base::FilePath& location, std::vector<base::FilePath>* output_files) {
  if (!archive_.IsValid())
    return ERROR_INVALID_HANDLE;
  created_folders_.clear();
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
