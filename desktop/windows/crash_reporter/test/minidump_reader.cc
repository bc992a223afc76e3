#include "desktop/windows/crash_reporter/test/minidump_reader.h"

#include <string.h>

#include "base/files/file_util.h"

namespace crash_reporter {
namespace test {

namespace {

constexpr ULONG32 kMinidumpSignature = 0x504D444D;  // "MDMP"

}  // namespace

bool MinidumpReader::Open(const base::FilePath& path) {
  if (!base::ReadFileToString(path, &bytes_) || bytes_.size() < sizeof(MINIDUMP_HEADER))
    return false;
  MINIDUMP_HEADER header;
  memcpy(&header, bytes_.data(), sizeof(header));
  const uint64_t directory_end = static_cast<uint64_t>(header.StreamDirectoryRva) +
                                 uint64_t{header.NumberOfStreams} * sizeof(MINIDUMP_DIRECTORY);
  if (header.Signature != kMinidumpSignature || directory_end > bytes_.size())
    return false;
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    memcpy(&entry, bytes_.data() + header.StreamDirectoryRva + i * sizeof(entry), sizeof(entry));
    if (uint64_t{entry.Location.Rva} + entry.Location.DataSize > bytes_.size())
      return false;
  }
  return true;
}

bool MinidumpReader::GetStream(ULONG32 type, std::string* data) const {
  if (bytes_.size() < sizeof(MINIDUMP_HEADER))
    return false;
  MINIDUMP_HEADER header;
  memcpy(&header, bytes_.data(), sizeof(header));
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry;
    memcpy(&entry, bytes_.data() + header.StreamDirectoryRva + i * sizeof(entry), sizeof(entry));
    if (entry.StreamType == type) {
      data->assign(bytes_, entry.Location.Rva, entry.Location.DataSize);
      return true;
    }
  }
  return false;
}

bool MinidumpReader::HasStream(ULONG32 type) const {
  std::string data;
  return GetStream(type, &data);
}

bool MinidumpReader::GetException(MINIDUMP_EXCEPTION_STREAM* exception) const {
  std::string data;
  if (!GetStream(ExceptionStream, &data) || data.size() < sizeof(*exception))
    return false;
  memcpy(exception, data.data(), sizeof(*exception));
  return true;
}

bool MinidumpReader::HoldsMemory(ULONG64 address, ULONG64 size) const {
  std::string data;
  if (!GetStream(MemoryListStream, &data) || data.size() < sizeof(ULONG32))
    return false;
  ULONG32 count = 0;
  memcpy(&count, data.data(), sizeof(count));
  for (ULONG32 i = 0; i < count; ++i) {
    const size_t offset = sizeof(ULONG32) + i * sizeof(MINIDUMP_MEMORY_DESCRIPTOR);
    if (offset + sizeof(MINIDUMP_MEMORY_DESCRIPTOR) > data.size())
      return false;
    MINIDUMP_MEMORY_DESCRIPTOR range;
    memcpy(&range, data.data() + offset, sizeof(range));
    if (range.StartOfMemoryRange <= address &&
        address + size <= range.StartOfMemoryRange + range.Memory.DataSize) {
      return true;
    }
  }
  return false;
}

}  // namespace test
}  // namespace crash_reporter
