#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_READER_H_

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include <memory>

namespace crash_reporter {

// Reads the memory of another process through one reusable buffer, so that the many small
// reads of a crash log allocate rarely. Not thread-safe; the process handle is not owned
// and must outlive the reader.
class MemoryReader {
 public:
  // Bytes read and where they came from; filled and read by the reader's users (e.g. a
  // thread's stack while it is being written).
  struct Region {
    const uint8_t* data = nullptr;
    uint64_t start = 0;
    size_t size = 0;
  };

  // Failures past this count are not logged.
  static constexpr uint32_t kMaxLoggedFailures = 100;

  explicit MemoryReader(HANDLE process);
  MemoryReader(const MemoryReader&) = delete;
  MemoryReader& operator=(const MemoryReader&) = delete;
  virtual ~MemoryReader();

  // Reads up to |size| bytes at |address|. Returns the bytes, valid until the next Read,
  // with their count in |*bytes_read|; null (count 0) when nothing could be read.
  const uint8_t* Read(uint64_t address, size_t size, size_t* bytes_read);

  Region& region() { return region_; }
  uint32_t failure_count() const { return failure_count_; }

 private:
  Region region_;
  const HANDLE process_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
  uint32_t failure_count_ = 0;
};

// Reads exactly |size| bytes at |address| of |process|; false (not logged) otherwise.
bool ReadProcessMemoryExactly(HANDLE process, uint64_t address, void* buffer, size_t size);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_READER_H_
