#include "desktop/windows/installer/service/pe_image.h"

#include <stdint.h>

#include <algorithm>

#include "base/files/file.h"
#include "base/logging.h"

namespace installer {

namespace {

// Layout of the headers (all values little-endian). Offsets are unsigned and every sum is
// taken in 64 bits after checking the terms against the file size, so that no value read
// from a hostile file can wrap around.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kNtHeaderOffsetField = 0x3C;  // e_lfanew
constexpr uint32_t kSignatureSize = 4;            // "PE\0\0"
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSizeOfOptionalHeaderField = 16;  // In the file header.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// Offsets in the optional header.
constexpr uint32_t kPe32NumberOfRvaAndSizes = 92;
constexpr uint32_t kPe32DataDirectories = 96;
constexpr uint32_t kPe32PlusNumberOfRvaAndSizes = 108;
constexpr uint32_t kPe32PlusDataDirectories = 112;
constexpr uint32_t kDataDirectorySize = 8;
constexpr uint32_t kSecurityDirectory = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
// Enough of the optional header for every field read here.
constexpr uint32_t kOptionalHeaderReadSize =
    kPe32PlusDataDirectories + (kSecurityDirectory + 1) * kDataDirectorySize;

struct PeHeaders {
  uint64_t file_size = 0;
  bool is_64 = false;
  // The end of the optional header: where the section table starts.
  uint64_t headers_end = 0;
  bool has_security_directory = false;
  // More directories announced than the optional header holds, the security entry among
  // them: the headers contradict each other.
  bool security_directory_cut = false;
  // The security directory's file offset and size.
  uint32_t certificate_offset = 0;
  uint32_t certificate_size = 0;
};

uint16_t ReadU16(const uint8_t* data) {
  return static_cast<uint16_t>(data[0] | (data[1] << 8));
}

uint32_t ReadU32(const uint8_t* data) {
  return static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

// Reads exactly |size| bytes at |offset|; the caller has checked that they are in the file.
bool ReadAt(base::File* file, uint64_t offset, uint8_t* buffer, uint32_t size) {
  return file->Read(static_cast<int64_t>(offset), reinterpret_cast<char*>(buffer),
                    static_cast<int>(size)) == static_cast<int>(size);
}

bool NotAnImage(const base::FilePath& path, const char* reason) {
  LOG(WARNING) << path << " is not a readable PE image: " << reason;
  return false;
}

bool ReadPeHeaders(const base::FilePath& path, PeHeaders* headers) {
  base::File file(path, base::File::FLAG_OPEN | base::File::FLAG_READ);
  if (!file.IsValid()) {
    ELOG(WARNING, file.error_details()) << "Cannot open " << path;
    return false;
  }
  base::File::Info info;
  if (!file.GetInfo(&info) || info.size < 0)
    return NotAnImage(path, "size unknown");
  const uint64_t file_size = static_cast<uint64_t>(info.size);
  headers->file_size = file_size;

  uint8_t dos_header[kDosHeaderSize];
  if (file_size < kDosHeaderSize || !ReadAt(&file, 0, dos_header, kDosHeaderSize))
    return NotAnImage(path, "no DOS header");
  if (dos_header[0] != 'M' || dos_header[1] != 'Z')
    return NotAnImage(path, "no MZ signature");

  // e_lfanew is signed in the system's headers; read unsigned, a negative value becomes a
  // huge offset that the size check rejects.
  const uint64_t nt_offset = ReadU32(dos_header + kNtHeaderOffsetField);
  uint8_t nt_header[kSignatureSize + kFileHeaderSize];
  if (nt_offset > file_size || file_size - nt_offset < sizeof(nt_header) ||
      !ReadAt(&file, nt_offset, nt_header, sizeof(nt_header))) {
    return NotAnImage(path, "NT headers outside the file");
  }
  if (nt_header[0] != 'P' || nt_header[1] != 'E' || nt_header[2] != 0 || nt_header[3] != 0)
    return NotAnImage(path, "no PE signature");

  const uint32_t optional_size = ReadU16(nt_header + kSignatureSize + kSizeOfOptionalHeaderField);
  const uint64_t optional_offset = nt_offset + sizeof(nt_header);  // <= file_size
  if (optional_size > file_size - optional_offset)
    return NotAnImage(path, "optional header outside the file");
  uint8_t optional[kOptionalHeaderReadSize] = {};
  const uint32_t read_size = std::min(optional_size, kOptionalHeaderReadSize);
  if (read_size < 2 || !ReadAt(&file, optional_offset, optional, read_size))
    return NotAnImage(path, "no optional header");

  uint32_t count_field = 0;
  uint32_t directories = 0;
  switch (ReadU16(optional)) {
    case kPe32Magic:
      count_field = kPe32NumberOfRvaAndSizes;
      directories = kPe32DataDirectories;
      break;
    case kPe32PlusMagic:
      headers->is_64 = true;
      count_field = kPe32PlusNumberOfRvaAndSizes;
      directories = kPe32PlusDataDirectories;
      break;
    default:
      return NotAnImage(path, "unknown optional header magic");
  }
  if (optional_size < directories)
    return NotAnImage(path, "optional header too small");
  headers->headers_end = optional_offset + optional_size;

  const uint32_t directory_count = ReadU32(optional + count_field);
  const uint32_t security_entry = directories + kSecurityDirectory * kDataDirectorySize;
  if (directory_count > kSecurityDirectory) {
    if (optional_size >= security_entry + kDataDirectorySize) {
      headers->has_security_directory = true;
      headers->certificate_offset = ReadU32(optional + security_entry);
      headers->certificate_size = ReadU32(optional + security_entry + 4);
    } else {
      headers->security_directory_cut = true;
    }
  }
  return true;
}

}  // namespace

bool IsPE64(const base::FilePath& path, bool* is_64) {
  PeHeaders headers;
  if (!ReadPeHeaders(path, &headers))
    return false;
  *is_64 = headers.is_64;
  return true;
}

bool HasCertificateTable(const base::FilePath& path, bool* has_table) {
  PeHeaders headers;
  if (!ReadPeHeaders(path, &headers))
    return false;
  if (headers.security_directory_cut)
    return NotAnImage(path, "security directory entry cut off");
  *has_table = headers.has_security_directory && headers.certificate_size != 0;
  if (!*has_table)
    return true;
  // The offset is a file offset (not an address): a sound table lies after the headers and
  // ends inside the file. One that does not is still a table; its signature fails to verify.
  // The sum of two 32-bit values cannot wrap in 64 bits.
  const uint64_t table_end =
      static_cast<uint64_t>(headers.certificate_offset) + headers.certificate_size;
  if (headers.certificate_offset < headers.headers_end || table_end > headers.file_size)
    LOG(WARNING) << "The certificate table of " << path << " lies outside the file";
  return true;
}

}  // namespace installer
