#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_

#include <stdint.h>

#include <string>
#include <string_view>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/files/memory_mapped_file.h"

namespace installer {

// What the packager appended to an installer file.
enum class PayloadType : uint32_t {
  kNone = 0,
  kTrackingData = 1,
  kExternalTrackingData = 2,  // Handed in through SetPayload, not read from the file.
  kFullPackage = 3,           // A 7z archive of the browser.
  kCorrupted = 4,             // The file is not a sound PE image.
};

// Finds and hands out the payload of an installer file. The payload trailer is "QVZ", the
// payload bytes and their length (unsigned 32-bit, little-endian); it ends either at the
// end of the file or where the Authenticode certificate table starts (then the signature
// covers it). A payload that starts with the 7z signature is a full package, any other is
// tracking data. A full package outside the signature of a signed file is refused.
//
// The file stays mapped as long as the reader lives; everything handed out is a copy.
class PayloadReader {
 public:
  // Maps |installer_file| and classifies it at once. Problems are logged and end in the
  // type kNone or kCorrupted.
  explicit PayloadReader(const base::FilePath& installer_file);
  // The same for the open |installer_file| (read access), which |path| names in the log:
  // the payload is that of the file the handle holds, whatever its path names by now.
  PayloadReader(const base::File& installer_file, const base::FilePath& path);
  ~PayloadReader();

  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  PayloadType type() const { return type_; }

  // The payload bytes: empty for kNone and kCorrupted, the bytes given to SetPayload for
  // kExternalTrackingData.
  std::string GetPayload() const;

  // Replaces whatever the file held by |payload|; the type becomes kExternalTrackingData.
  void SetPayload(std::string_view payload);

  // Writes the payload to |path| (created or truncated, opened without sharing). False for
  // kNone and kCorrupted, and when the file cannot be written completely.
  bool WritePayload(const base::FilePath& path) const;
  // The same into the open |file| (write access), from its current position; |path| names
  // it in the log.
  bool WritePayload(base::File* file, const base::FilePath& path) const;

  // "none", "tracking_data", "external_tracking_data", "full_package", "corrupted"; empty
  // for any other value.
  static std::string GetTypeName(PayloadType type);

 private:
  // Classifies the mapped file; kNone when it could not be mapped.
  PayloadType ReadPayload(bool mapped);
  // Looks for the trailer that ends at |end|; on success stores the payload's place.
  bool TryTrailer(uint64_t end);
  // The payload bytes without a copy (a view into the mapping or the external payload).
  std::string_view PayloadView() const;

  const base::FilePath installer_file_;
  base::MemoryMappedFile file_;
  std::string external_payload_;
  uint32_t payload_length_ = 0;
  uint64_t payload_offset_ = 0;
  PayloadType type_ = PayloadType::kNone;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
