#ifndef BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/persistent_memory_allocator.h"
#include "base/metrics/persistent_sample_map.h"

namespace base {

class BucketRanges;

// Stores histograms in a persistent memory segment, and revives the histograms that a
// segment holds (written by this or another process). A stored histogram is a metadata
// block (type 0xF1645913) naming its ranges block (0xBCEA225B, bucket count + 1 entries)
// and counts block (0x53215531, 2 x bucket count entries: the samples, then the logged
// samples); a sparse histogram's values are sample records (0x8FE6A6A0). Metadata layout:
//    0 u32 type    4 i32 flags (0x40 set)    8 i32 minimum    12 i32 maximum
//   16 u32 bucket count    20 u32 ranges ref    24 u32 ranges checksum    28 u32 counts ref
//   32 SamplesMetadata of the samples    56 SamplesMetadata of the logged samples
//   80 the name, zero-terminated
// Histograms it returns use the segment's memory, which must outlive them. The memory
// allocator makes the segment safe to share; this object itself may be used from any
// thread. No code of this program creates one.
class PersistentHistogramAllocator {
 public:
  using Reference = PersistentMemoryAllocator::Reference;

  static constexpr uint32_t kTypeIdHistogram = 0xF1645913;
  static constexpr uint32_t kTypeIdRangesArray = 0xBCEA225B;
  static constexpr uint32_t kTypeIdCountsArray = 0x53215531;

  // Outcomes of storing or reviving a histogram, recorded in
  // "UMA.CreatePersistentHistogram.Result".
  enum CreateHistogramResult {
    CREATE_HISTOGRAM_SUCCESS = 0,
    CREATE_HISTOGRAM_INVALID_METADATA_POINTER = 1,
    CREATE_HISTOGRAM_INVALID_METADATA = 2,
    CREATE_HISTOGRAM_INVALID_RANGES_ARRAY = 3,
    CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY = 4,
    CREATE_HISTOGRAM_ALLOCATOR_CORRUPT = 5,
    CREATE_HISTOGRAM_ALLOCATOR_FULL = 6,
    CREATE_HISTOGRAM_ALLOCATOR_ERROR = 7,
    CREATE_HISTOGRAM_UNKNOWN_TYPE = 8,
    CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT = 9,
    CREATE_HISTOGRAM_MAX = 10,
  };

  // Walks the stored histograms in the order they were made iterable.
  class Iterator {
   public:
    explicit Iterator(PersistentHistogramAllocator* allocator);
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

    // The next histogram that can be revived; null at the end or at one that cannot.
    std::unique_ptr<HistogramBase> GetNext() { return GetNextWithIgnore(0); }
    std::unique_ptr<HistogramBase> GetNextWithIgnore(Reference ignore);

   private:
    PersistentHistogramAllocator* const allocator_;
    PersistentMemoryAllocator::Iterator memory_iterator_;
  };

  explicit PersistentHistogramAllocator(std::unique_ptr<PersistentMemoryAllocator> memory);
  PersistentHistogramAllocator(const PersistentHistogramAllocator&) = delete;
  PersistentHistogramAllocator& operator=(const PersistentHistogramAllocator&) = delete;
  ~PersistentHistogramAllocator();

  PersistentMemoryAllocator* memory_allocator() { return memory_.get(); }
  SampleRecordStore* sample_records() { return &sample_records_; }

  // Revives the histogram stored at |ref|; null when the record is invalid, which also
  // marks the segment corrupt.
  std::unique_ptr<HistogramBase> GetHistogram(Reference ref);

  // Stores a new histogram (|ranges| ignored for a sparse one) and returns it with its
  // metadata reference; null when the segment is full or corrupt. The caller then calls
  // FinalizeHistogram.
  std::unique_ptr<HistogramBase> AllocateHistogram(HistogramType type,
                                                   const std::string& name,
                                                   HistogramBase::Sample minimum,
                                                   HistogramBase::Sample maximum,
                                                   const BucketRanges* ranges,
                                                   int32_t flags,
                                                   Reference* ref);
  // Makes a stored histogram visible to readers when the caller kept it, or gives its
  // record up when the recorder had one of that name already.
  void FinalizeHistogram(Reference ref, bool registered);

  // Revives every stored histogram this object did not just create and hands it to the
  // statistics recorder; stops at the first that cannot be revived.
  void ImportHistogramsToRecorder();

  // The allocator the histogram factories build in; none unless installed. Not owned: the
  // installer keeps it alive and uninstalls it (SetGlobal(nullptr)) before destroying it.
  static PersistentHistogramAllocator* GetGlobal();
  static void SetGlobal(PersistentHistogramAllocator* allocator);

 private:
  struct PersistentHistogramData;

  std::unique_ptr<HistogramBase> CreateHistogram(PersistentHistogramData* data, size_t size);
  // Marks the segment corrupt and records |result|.
  std::unique_ptr<HistogramBase> RefuseRecord(CreateHistogramResult result);

  std::unique_ptr<PersistentMemoryAllocator> memory_;
  SampleRecordStore sample_records_;
  PersistentMemoryAllocator::Iterator import_iterator_;
  std::atomic<Reference> last_created_{0};
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_
