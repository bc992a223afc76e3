#include "desktop/windows/crash_reporter/test/minidump_reader.h"

#include "base/files/file_util.h"

namespace crash_reporter {
namespace test {

bool MinidumpReader::Open(const base::FilePath& path) {
  std::string bytes;
  return base::ReadFileToString(path, &bytes) && Parse(std::move(bytes));
}

bool MinidumpReader::Parse(std::string bytes) {
  constexpr ULONG32 kMinidumpSignature = 0x504D444D;  // "MDMP"
  bytes_ = std::move(bytes);
  ULONG32 signature = 0;
  if (bytes_.size() < sizeof(MINIDUMP_HEADER))
    return false;
  memcpy(&signature, bytes_.c_str(), sizeof(signature));
  return signature == kMinidumpSignature;
}

std::string MinidumpReader::GetStream(ULONG32 type) const {
  MINIDUMP_HEADER header;
  if (bytes_.size() < sizeof(header))
    return std::string();
  memcpy(&header, bytes_.data(), sizeof(header));
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    const size_t at = header.StreamDirectoryRva + i * sizeof(entry);
    if (at + sizeof(entry) > bytes_.size())
      break;
    memcpy(&entry, bytes_.data() + at, sizeof(entry));
    if (entry.StreamType == type &&
        uint64_t{entry.Location.Rva} + entry.Location.DataSize <= bytes_.size()) {
      return bytes_.substr(entry.Location.Rva, entry.Location.DataSize);
    }
  }
  return std::string();
}

bool MinidumpReader::GetException(MINIDUMP_EXCEPTION_STREAM* exception) const {
  const std::string data = GetStream(ExceptionStream);
  if (data.size() < sizeof(*exception))
    return false;
  memcpy(exception, data.data(), sizeof(*exception));
  return true;
}

bool MinidumpReader::HoldsMemory(ULONG64 address, ULONG64 size) const {
  const std::string data = GetStream(MemoryListStream);
  ULONG32 count = 0;
  if (data.size() < sizeof(count))
    return false;
  memcpy(&count, data.data(), sizeof(count));
  for (ULONG32 i = 0; i < count; ++i) {
    MINIDUMP_MEMORY_DESCRIPTOR range;
    const size_t at = sizeof(count) + i * sizeof(range);
    if (at + sizeof(range) > data.size())
      return false;
    memcpy(&range, data.data() + at, sizeof(range));
    if (range.StartOfMemoryRange <= address &&
        address + size <= range.StartOfMemoryRange + range.Memory.DataSize) {
      return true;
    }
  }
  return false;
}

}  // namespace test
}  // namespace crash_reporter
