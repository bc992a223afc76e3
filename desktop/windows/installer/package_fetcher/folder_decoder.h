#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FOLDER_DECODER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FOLDER_DECODER_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <vector>

#include <lzmasdk/7z.h>

#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace installer {

class FileMappingAllocator;
class JoiningThread;

// Decodes one 7z folder of an open archive into a buffer on worker threads, so that the
// caller can write out entries while later data is still being decoded.
//
// An LZMA2 folder (the usual kind) is cut where its encoder reset the dictionary, as
// encoders running on several threads do every few dictionary sizes; the parts decode in
// parallel, each straight into its place in the buffer, and each part becomes ready from
// its start on. Any other folder is decoded whole by the SDK on one worker and becomes
// ready at once at the end.
//
// The workers read the archive with positional reads only (the whole-folder decoder
// alone moves the file position, and is then the only reader). They take the faults of
// the buffer's view through ScopedInPageErrorHandler and stop once the allocator
// reports the view failed.
//
// Created, started and destroyed on one thread; IsDecoded, generation, WaitForProgress,
// error, done and Cancel may be used from any thread.
class FolderDecoder {
 public:
  // |db|, |archive|, |output| (|size| bytes, the folder's unpack size) and |allocator|
  // (whose view holds |output|) must outlive the object.
  FolderDecoder(const CSzArEx* db,
                UInt32 folder_index,
                HANDLE archive,
                Byte* output,
                size_t size,
                FileMappingAllocator* allocator);
  // Stops the workers (at their next step) and waits for them.
  ~FolderDecoder();

  FolderDecoder(const FolderDecoder&) = delete;
  FolderDecoder& operator=(const FolderDecoder&) = delete;

  // Starts the workers. False when not one could be started (error() is then set).
  bool Start();

  // The starts of the parts in the output, ascending, the first 0. Valid after Start.
  const std::vector<size_t>& part_starts() const { return part_starts_; }

  // Whether bytes [begin, end) of the output are decoded.
  bool IsDecoded(size_t begin, size_t end) const;

  // Moves on whenever a worker makes progress, fails or ends.
  uint64_t generation() const;
  // Waits until generation() differs from |seen|.
  void WaitForProgress(uint64_t seen);

  // SZ_OK, or the first error of a worker.
  SRes error() const { return error_.load(std::memory_order_acquire); }

  // Whether every worker has ended.
  bool done() const { return running_.load(std::memory_order_acquire) == 0; }
  // Waits until every worker has ended; then error().
  SRes WaitUntilDone();

  // Makes the workers stop at their next step (they then report SZ_ERROR_PROGRESS).
  void Cancel();

 private:
  struct Part {
    uint64_t pack_offset;  // In the archive file.
    uint64_t pack_size;
    size_t output_offset;
    size_t output_size;
  };

  // Finds the parts of a single-coder LZMA2 folder from its chunk headers; false when the
  // folder is of another kind or its chunks do not add up.
  bool FindLzma2Parts();
  // Runs parts until none is left; on the worker threads.
  void RunParts();
  SRes DecodeLzma2Part(size_t index);
  SRes DecodeWholeFolder();
  // Touches the pages of the output ahead of the decoders; on the prefaulter thread.
  void Prefault();
  void SetDecoded(size_t index, size_t decoded);
  void Notify();

  const CSzArEx* const db_;
  const UInt32 folder_index_;
  const HANDLE archive_;
  Byte* const output_;
  const size_t size_;
  FileMappingAllocator* const allocator_;

  bool lzma2_ = false;
  Byte lzma2_prop_ = 0;
  std::vector<Part> parts_;
  std::vector<size_t> part_starts_;
  // Per part, the bytes decoded from its start.
  std::unique_ptr<std::atomic<size_t>[]> decoded_;
  std::atomic<size_t> next_part_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<SRes> error_{SZ_OK};
  std::atomic<int> running_{0};

  std::vector<std::unique_ptr<JoiningThread>> workers_;
  std::unique_ptr<JoiningThread> prefaulter_;

  mutable base::Lock lock_;
  base::ConditionVariable progress_{&lock_};
  uint64_t generation_ = 0;  // Under |lock_|.
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FOLDER_DECODER_H_
