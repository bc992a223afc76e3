#include "desktop/windows/crash_reporter/memory_reader.h"

#include <new>

#include "base/logging.h"

namespace crash_reporter {

MemoryReader::MemoryReader(HANDLE process) : process_(process) {}

MemoryReader::~MemoryReader() = default;

const uint8_t* MemoryReader::Read(uint64_t address, size_t size, size_t* bytes_read) {
  *bytes_read = 0;
  if (capacity_ < size) {
    buffer_.reset(new (std::nothrow) uint8_t[size]);
    capacity_ = buffer_ ? size : 0;
    if (!buffer_)
      return nullptr;
  }
  SIZE_T count = 0;
  if (::ReadProcessMemory(process_, reinterpret_cast<const void*>(address), buffer_.get(),
                          size, &count) &&
      count != 0) {
    *bytes_read = count;
    return buffer_.get();
  }
  const DWORD error = ::GetLastError();
  ++failure_count_;
  if (failure_count_ <= kMaxLoggedFailures) {
    ELOG(ERROR, error) << "ReadProcessMemory failed for address 0x" << std::hex << address
                       << std::dec << " and size " << size << ", bytes_read=" << count;
    if (failure_count_ == kMaxLoggedFailures)
      LOG(INFO) << "Reached limit of logged memory read errors";
  }
  return nullptr;
}

bool ReadProcessMemoryExactly(HANDLE process, uint64_t address, void* buffer, size_t size) {
  SIZE_T count = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size,
                             &count) &&
         count == size;
}

}  // namespace crash_reporter
