#ifndef BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_
#define BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <vector>

#include "base/metrics/histogram_samples.h"
#include "base/metrics/persistent_memory_allocator.h"
#include "base/synchronization/lock.h"

namespace base {

// The sample records of one segment (blocks of type 0x8FE6A6A0, 16 bytes: u64 histogram
// id, i32 value, i32 count), sorted by histogram id as they are found. Records are found
// lazily: a walk of the segment stops once it has turned up what the caller looks for.
// Thread-safe (one lock); lives as long as its allocator.
class SampleRecordStore {
 public:
  using Reference = PersistentMemoryAllocator::Reference;

  static constexpr uint32_t kTypeIdSampleRecord = 0x8FE6A6A0;

  struct SampleRecord {
    uint64_t id;
    HistogramBase::Sample value;
    HistogramBase::Count count;
  };

  // What is known of one histogram id's records.
  struct Records {
    std::vector<Reference> references;  // Under the store's lock.
    uint32_t created_since_load = 0;    // Under the store's lock.
  };

  explicit SampleRecordStore(PersistentMemoryAllocator* allocator);
  SampleRecordStore(const SampleRecordStore&) = delete;
  SampleRecordStore& operator=(const SampleRecordStore&) = delete;
  ~SampleRecordStore();

  PersistentMemoryAllocator* allocator() { return allocator_; }

  // The records of |id|; valid while the store lives.
  Records* GetRecords(uint64_t id);
  // Appends the references of |records| from index |from| on to |out|.
  void CopyReferences(Records* records, size_t from, std::vector<Reference>* out);
  // Walks on through the segment, filing the records it meets; true when some for
  // |records| turned up, or were created by this process since the last walk.
  bool LoadRecords(uint64_t id, Records* records);
  // A new iterable record {id, value, 0}; 0 when the segment has no room.
  Reference CreateRecord(uint64_t id, Records* records, HistogramBase::Sample value);

 private:
  Records* GetRecordsLocked(uint64_t id);

  PersistentMemoryAllocator* const allocator_;
  Lock lock_;
  PersistentMemoryAllocator::Iterator iterator_;                // Under lock_.
  std::map<uint64_t, std::unique_ptr<Records>> records_by_id_;  // Under lock_.
};

// The samples of a sparse histogram stored in a segment: each value's count lives in a
// sample record there (or, when the segment has no room, in a cell on the heap). Like
// SampleMap its map must be serialised by its owner's lock; the counts, the sum and the
// redundant count change atomically, as other processes may count into the same records.
// The store and metadata must outlive it.
class PersistentSampleMap : public HistogramSamples {
 public:
  PersistentSampleMap(uint64_t id, SampleRecordStore* store, SamplesMetadata* meta);
  ~PersistentSampleMap() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  // Subtracting more than a value holds leaves 0; subtracting from a value without a record
  // changes nothing; both are recorded in "UMA.NegativeSamples.Reason".
  bool AddSubtractImpl(SampleCountIterator* iterator, Operator op) override;

 private:
  Count* GetSampleCountStorage(Sample value) const;
  Count* GetOrCreateSampleCountStorage(Sample value);
  // Files the known records of this id into the map; with |import_all| false it stops once
  // |until| has a count. Returns the count of |until| or null.
  Count* ImportSamples(Sample until, bool import_all) const;

  SampleRecordStore* const store_;
  SampleRecordStore::Records* const records_;
  mutable std::map<Sample, Count*> sample_counts_;
  mutable size_t records_seen_ = 0;
  std::vector<std::unique_ptr<Count>> heap_counts_;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_
