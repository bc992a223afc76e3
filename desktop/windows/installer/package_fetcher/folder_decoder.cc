#include "desktop/windows/installer/package_fetcher/folder_decoder.h"

#include <algorithm>

#include <lzmasdk/7zAlloc.h>
#include <lzmasdk/Lzma2Dec.h>

#include "base/logging.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/package_fetcher/archive_input_stream.h"
#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"
#include "desktop/windows/installer/package_fetcher/in_page_error_handler.h"
#include "desktop/windows/installer/package_fetcher/joining_thread.h"

namespace installer {

namespace {

constexpr UInt32 kLzma2MethodId = 0x21;
// Dictionary resets closer together than this are not worth a part of their own.
constexpr size_t kMinPartSize = 4u << 20;
constexpr int kMaxWorkers = 8;
// Input is read in blocks of this size and fed to the decoder in slices, after each of
// which the progress is published.
constexpr size_t kInputBlockSize = 256 * 1024;
constexpr size_t kInputSliceSize = 64 * 1024;
// The prefaulter leaves the pages this close to a decoder's position to the decoder.
constexpr size_t kPrefaultMargin = 1u << 20;

const ISzAlloc kHeapAlloc = {&SzAlloc, &SzFree};

// What one LZMA2 chunk header says.
struct Lzma2Chunk {
  bool end = false;  // The end marker.
  bool resets_dictionary = false;
  uint64_t packed_size = 0;  // Header included.
  size_t unpacked_size = 0;
};

// Reads the chunk header at |offset|; false when it is not one.
bool ReadLzma2Chunk(HANDLE archive, uint64_t offset, uint64_t available, Lzma2Chunk* chunk) {
  Byte header[6];
  const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof(header), available));
  if (length == 0 || ArchiveInputStream::ReadAt(archive, offset, header, length) != SZ_OK)
    return false;
  const Byte control = header[0];
  if (control == 0) {
    chunk->end = true;
    chunk->packed_size = 1;
    return true;
  }
  if (control == 1 || control == 2) {
    if (length < 3)
      return false;
    chunk->resets_dictionary = control == 1;
    chunk->unpacked_size = (static_cast<size_t>(header[1]) << 8 | header[2]) + 1;
    chunk->packed_size = 3 + chunk->unpacked_size;
    return true;
  }
  if (control < 0x80)
    return false;
  const unsigned mode = (control >> 5) & 3;
  const size_t header_size = mode >= 2 ? 6 : 5;
  if (length < header_size)
    return false;
  chunk->resets_dictionary = mode == 3;
  chunk->unpacked_size = (static_cast<size_t>(control & 0x1F) << 16 |
                          static_cast<size_t>(header[1]) << 8 | header[2]) +
                         1;
  chunk->packed_size = header_size + (static_cast<uint64_t>(header[3]) << 8 | header[4]) + 1;
  return true;
}

}  // namespace

FolderDecoder::FolderDecoder(const CSzArEx* db,
                             UInt32 folder_index,
                             HANDLE archive,
                             Byte* output,
                             size_t size,
                             FileMappingAllocator* allocator)
    : db_(db),
      folder_index_(folder_index),
      archive_(archive),
      output_(output),
      size_(size),
      allocator_(allocator) {}

FolderDecoder::~FolderDecoder() {
  Cancel();
  workers_.clear();
  prefaulter_.reset();
}

void FolderDecoder::Cancel() {
  cancelled_ = true;
}

bool FolderDecoder::Start() {
  lzma2_ = FindLzma2Parts();
  if (!lzma2_) {
    parts_.clear();
    parts_.push_back(Part{0, 0, 0, size_});
  }
  part_starts_.clear();
  for (const Part& part : parts_)
    part_starts_.push_back(part.output_offset);
  decoded_.reset(new std::atomic<size_t>[parts_.size()]);
  for (size_t i = 0; i < parts_.size(); ++i)
    decoded_[i].store(0);

  const size_t processors =
      static_cast<size_t>(std::max(1, base::win::OsInfo::GetInstance()->processors()));
  const size_t count = std::min({parts_.size(), processors, static_cast<size_t>(kMaxWorkers)});
  for (size_t i = 0; i < count; ++i) {
    auto worker = std::make_unique<JoiningThread>([this] { RunParts(); });
    running_.fetch_add(1);
    if (!worker->Start()) {
      running_.fetch_sub(1);
      break;
    }
    workers_.push_back(std::move(worker));
  }
  if (workers_.empty()) {
    error_ = SZ_ERROR_THREAD;
    return false;
  }
  // The first write to a page of a file mapping is dear (the file system reserves room
  // for it); a spare processor takes those faults ahead of the decoders.
  if (workers_.size() < processors) {
    prefaulter_ = std::make_unique<JoiningThread>([this] { Prefault(); });
    if (!prefaulter_->Start())
      prefaulter_.reset();
  }
  return true;
}

void FolderDecoder::Prefault() {
  ScopedInPageErrorHandler faults(allocator_);
  constexpr size_t kPageSize = 4096;
  // Page by page through all parts at once, as the decoders advance through them
  // together; pages a decoder has reached already are left to it.
  for (size_t offset = 0; !cancelled_ && !done() && !allocator_->view_failed();
       offset += kPageSize) {
    bool any = false;
    for (size_t part = 0; part < parts_.size(); ++part) {
      if (offset >= parts_[part].output_size)
        continue;
      any = true;
      if (decoded_[part].load(std::memory_order_relaxed) + kPrefaultMargin > offset)
        continue;
      // An atomic OR of 0 writes the byte back as it is, even should the decoder store to
      // it at the same moment, and makes the system take the write fault here.
      std::atomic_ref<Byte>(output_[parts_[part].output_offset + offset])
          .fetch_or(0, std::memory_order_relaxed);
    }
    if (!any)
      break;
  }
}

bool FolderDecoder::FindLzma2Parts() {
  const CSzAr& archive = db_->db;
  CSzFolder folder;
  CSzData coders;
  coders.Data = archive.CodersData + archive.FoCodersOffsets[folder_index_];
  coders.Size = archive.FoCodersOffsets[folder_index_ + 1] - archive.FoCodersOffsets[folder_index_];
  const Byte* const coder_data = coders.Data;
  if (SzGetNextFolderItem(&folder, &coders) != SZ_OK || coders.Size != 0 || folder.NumCoders != 1 ||
      folder.NumPackStreams != 1 || folder.Coders[0].MethodID != kLzma2MethodId ||
      folder.Coders[0].PropsSize != 1) {
    return false;
  }
  lzma2_prop_ = coder_data[folder.Coders[0].PropsOffset];

  const UInt32 pack_stream = archive.FoStartPackStreamIndex[folder_index_];
  const uint64_t pack_start = db_->dataPos + archive.PackPositions[pack_stream];
  const uint64_t pack_size =
      archive.PackPositions[pack_stream + 1] - archive.PackPositions[pack_stream];

  // The stream must start with a dictionary reset, add up to the folder's size and end
  // with the end marker at the end of its packed data; each reset (far enough from the
  // last cut) starts a part that a fresh decoder can take on its own.
  parts_.clear();
  uint64_t position = 0;
  size_t output = 0;
  for (;;) {
    Lzma2Chunk chunk;
    if (!ReadLzma2Chunk(archive_, pack_start + position, pack_size - position, &chunk))
      return false;
    if (chunk.end) {
      if (position + 1 != pack_size || output != size_ || parts_.empty())
        return false;
      break;
    }
    if (parts_.empty() && !chunk.resets_dictionary)
      return false;
    if (chunk.resets_dictionary &&
        (parts_.empty() || output - parts_.back().output_offset >= kMinPartSize)) {
      parts_.push_back(Part{pack_start + position, 0, output, 0});
    }
    position += chunk.packed_size;
    if (chunk.unpacked_size > size_ - output || position >= pack_size)
      return false;
    output += chunk.unpacked_size;
  }
  for (size_t i = 0; i < parts_.size(); ++i) {
    const bool last = i + 1 == parts_.size();
    const uint64_t pack_end = last ? pack_start + pack_size : parts_[i + 1].pack_offset;
    const size_t output_end = last ? size_ : parts_[i + 1].output_offset;
    parts_[i].pack_size = pack_end - parts_[i].pack_offset;
    parts_[i].output_size = output_end - parts_[i].output_offset;
  }
  return true;
}

void FolderDecoder::RunParts() {
  ScopedInPageErrorHandler faults(allocator_);
  while (!cancelled_) {
    const size_t index = next_part_.fetch_add(1);
    if (index >= parts_.size())
      break;
    const SRes result = lzma2_ ? DecodeLzma2Part(index) : DecodeWholeFolder();
    if (result != SZ_OK) {
      SRes expected = SZ_OK;
      error_.compare_exchange_strong(expected, result);
      cancelled_ = true;
    }
  }
  running_.fetch_sub(1, std::memory_order_release);
  Notify();
}

SRes FolderDecoder::DecodeLzma2Part(size_t index) {
  const Part& part = parts_[index];
  const bool last = index + 1 == parts_.size();
  CLzma2Dec decoder;
  Lzma2Dec_CONSTRUCT(&decoder) SRes result =
      Lzma2Dec_AllocateProbs(&decoder, lzma2_prop_, &kHeapAlloc);
  if (result != SZ_OK)
    return result;
  decoder.decoder.dic = output_ + part.output_offset;
  decoder.decoder.dicBufSize = part.output_size;
  Lzma2Dec_Init(&decoder);

  std::unique_ptr<Byte[]> input(new Byte[kInputBlockSize]);
  uint64_t read = 0;
  bool finished = false;
  while (result == SZ_OK && !finished) {
    if (cancelled_ || allocator_->view_failed()) {
      result = SZ_ERROR_PROGRESS;
      break;
    }
    const size_t length =
        static_cast<size_t>(std::min<uint64_t>(kInputBlockSize, part.pack_size - read));
    if (length == 0) {
      // Out of input before the part is complete.
      result = SZ_ERROR_INPUT_EOF;
      break;
    }
    result = ArchiveInputStream::ReadAt(archive_, part.pack_offset + read, input.get(), length);
    if (result != SZ_OK)
      break;
    read += length;
    size_t used = 0;
    while (used < length) {
      SizeT slice = std::min(length - used, kInputSliceSize);
      const SizeT before = decoder.decoder.dicPos;
      ELzmaStatus status;
      result = Lzma2Dec_DecodeToDic(&decoder, part.output_size, input.get() + used, &slice,
                                    LZMA_FINISH_END, &status);
      used += slice;
      SetDecoded(index, decoder.decoder.dicPos);
      if (result != SZ_OK)
        break;
      if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
        // Only the last part carries the end marker, at the very end of its input.
        if (!last || used != length || read != part.pack_size ||
            decoder.decoder.dicPos != part.output_size) {
          result = SZ_ERROR_DATA;
        }
        finished = true;
        break;
      }
      if (!last && decoder.decoder.dicPos == part.output_size && used == length &&
          read == part.pack_size) {
        finished = true;
        break;
      }
      if (slice == 0 && before == decoder.decoder.dicPos) {
        result = SZ_ERROR_DATA;
        break;
      }
    }
  }
  Lzma2Dec_FreeProbs(&decoder, &kHeapAlloc);
  return result;
}

SRes FolderDecoder::DecodeWholeFolder() {
  ArchiveInputStream stream(archive_, allocator_);
  const SRes result = SzAr_DecodeFolder(&db_->db, folder_index_, stream.look_stream(), db_->dataPos,
                                        output_, size_, &kHeapAlloc);
  if (result == SZ_OK)
    SetDecoded(0, size_);
  return result;
}

void FolderDecoder::SetDecoded(size_t index, size_t decoded) {
  decoded_[index].store(decoded, std::memory_order_release);
  Notify();
}

void FolderDecoder::Notify() {
  {
    base::AutoLock lock(lock_);
    ++generation_;
  }
  progress_.Broadcast();
}

bool FolderDecoder::IsDecoded(size_t begin, size_t end) const {
  if (begin >= end)
    return true;
  size_t part =
      static_cast<size_t>(std::upper_bound(part_starts_.begin(), part_starts_.end(), begin) -
                          part_starts_.begin()) -
      1;
  for (; part < parts_.size(); ++part) {
    const size_t start = parts_[part].output_offset;
    const size_t part_end = start + parts_[part].output_size;
    const size_t needed = std::min(end, part_end) - start;
    if (decoded_[part].load(std::memory_order_acquire) < needed)
      return false;
    if (end <= part_end)
      return true;
  }
  return false;
}

uint64_t FolderDecoder::generation() const {
  base::AutoLock lock(lock_);
  return generation_;
}

SRes FolderDecoder::WaitUntilDone() {
  {
    base::AutoLock lock(lock_);
    while (!done())
      progress_.Wait();
  }
  return error();
}

void FolderDecoder::WaitForProgress(uint64_t seen) {
  base::AutoLock lock(lock_);
  while (generation_ == seen)
    progress_.Wait();
}

}  // namespace installer
