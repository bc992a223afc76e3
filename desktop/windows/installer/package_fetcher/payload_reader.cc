#include "desktop/windows/installer/package_fetcher/payload_reader.h"

#include <string.h>

#include <algorithm>

#include "base/files/file.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"

namespace installer {

namespace {

constexpr char kPayloadMagic[] = {'Q', 'V', 'Z'};
constexpr uint64_t kMagicSize = sizeof(kPayloadMagic);
constexpr uint64_t kLengthSize = 4;
constexpr unsigned char k7zSignature[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

// PE layout: the DOS header's pointer to the PE signature, the machine field after the
// signature, and the security data-directory entry (offset and size of the certificate
// table) counted from the signature for the 32-bit and the 64-bit optional header.
constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kPeOffsetField = 0x3C;
constexpr char kPeSignature[] = {'P', 'E', '\0', '\0'};
constexpr uint64_t kMachineOffset = 4;
constexpr uint16_t kMachineX86 = 0x14C;
constexpr uint64_t kSecurityEntryOffset32 = 152;
constexpr uint64_t kSecurityEntryOffset64 = 168;
constexpr uint64_t kSecurityEntrySize = 8;

// Writes go out in pieces that base::File can take in one call.
constexpr size_t kMaxWriteChunk = 1 << 30;

uint32_t ReadUint32(const uint8_t* data, uint64_t offset) {
  return static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
         static_cast<uint32_t>(data[offset + 2]) << 16 |
         static_cast<uint32_t>(data[offset + 3]) << 24;
}

uint16_t ReadUint16(const uint8_t* data, uint64_t offset) {
  return static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
}

}  // namespace

PayloadReader::PayloadReader(const base::FilePath& installer_file)
    : installer_file_(installer_file) {
  LOG(INFO) << "Reading Payload";
  type_ = ReadPayload(file_.Initialize(installer_file_));
}

PayloadReader::PayloadReader(const base::File& installer_file, const base::FilePath& path)
    : installer_file_(path) {
  LOG(INFO) << "Reading Payload";
  type_ = ReadPayload(installer_file.IsValid() && file_.Initialize(installer_file));
}

PayloadReader::~PayloadReader() = default;

std::string PayloadReader::GetPayload() const {
  return std::string(PayloadView());
}

void PayloadReader::SetPayload(std::string_view payload) {
  external_payload_.assign(payload);
  type_ = PayloadType::kExternalTrackingData;
}

bool PayloadReader::WritePayload(const base::FilePath& path) const {
  if (type_ == PayloadType::kNone || type_ == PayloadType::kCorrupted)
    return false;
  // Made anew through no link: it may go into a folder its user changes.
  base::File file(base::CreateNewWithoutLinks(path, GENERIC_WRITE, 0));
  if (!file.IsValid()) {
    ELOG(ERROR, file.error_details()) << "Cannot create " << path;
    return false;
  }
  return WritePayload(&file, path);
}

bool PayloadReader::WritePayload(base::File* file, const base::FilePath& path) const {
  if (type_ == PayloadType::kNone || type_ == PayloadType::kCorrupted)
    return false;
  LOG(INFO) << "Writing payload to file " << path;
  const std::string_view payload = PayloadView();
  size_t written = 0;
  while (written < payload.size()) {
    const int chunk = static_cast<int>(std::min(payload.size() - written, kMaxWriteChunk));
    const int result = file->WriteAtCurrentPos(payload.data() + written, chunk);
    if (result <= 0) {
      PLOG(ERROR) << "Cannot write the payload to " << path;
      return false;
    }
    written += static_cast<size_t>(result);
  }
  return true;
}

// static
std::string PayloadReader::GetTypeName(PayloadType type) {
  switch (type) {
    case PayloadType::kNone:
      return "none";
    case PayloadType::kTrackingData:
      return "tracking_data";
    case PayloadType::kExternalTrackingData:
      return "external_tracking_data";
    case PayloadType::kFullPackage:
      return "full_package";
    case PayloadType::kCorrupted:
      return "corrupted";
  }
  return std::string();
}

PayloadType PayloadReader::ReadPayload(bool mapped) {
  if (!mapped) {
    LOG(ERROR) << "Could not initialize memory mapped file";
    return PayloadType::kNone;
  }
  const uint8_t* data = file_.data();
  const uint64_t length = file_.length();

  // Every offset taken from the file is checked against the mapping before it is read.
  if (length < kDosHeaderSize || data[0] != 'M' || data[1] != 'Z')
    return PayloadType::kCorrupted;
  const int32_t pe_offset = static_cast<int32_t>(ReadUint32(data, kPeOffsetField));
  if (pe_offset < 0)
    return PayloadType::kCorrupted;
  const uint64_t pe = static_cast<uint64_t>(pe_offset);
  if (pe + kMachineOffset + sizeof(uint16_t) > length ||
      memcmp(data + pe, kPeSignature, sizeof(kPeSignature)) != 0) {
    return PayloadType::kCorrupted;
  }
  const uint64_t security_entry =
      pe + (ReadUint16(data, pe + kMachineOffset) == kMachineX86 ? kSecurityEntryOffset32
                                                                  : kSecurityEntryOffset64);
  if (security_entry + kSecurityEntrySize > length)
    return PayloadType::kCorrupted;
  const bool is_signed = ReadUint32(data, security_entry + 4) != 0;
  const uint64_t certificate_table = is_signed ? ReadUint32(data, security_entry) : 0;
  if (certificate_table > length) {
    LOG(ERROR) << "Security directory is located past the image file length";
    return PayloadType::kCorrupted;
  }

  bool covered_by_signature = false;
  if (!TryTrailer(length)) {
    if (!is_signed || !TryTrailer(certificate_table)) {
      LOG(WARNING) << "No valid payload found";
      return PayloadType::kNone;
    }
    covered_by_signature = true;
  }

  if (payload_length_ < sizeof(k7zSignature) ||
      memcmp(data + payload_offset_, k7zSignature, sizeof(k7zSignature)) != 0) {
    return PayloadType::kTrackingData;
  }
  // Anyone can append bytes after the certificate table without breaking the signature;
  // only a package inside the signed range is trusted.
  if (is_signed && !covered_by_signature) {
    LOG(ERROR) << "Found full package that is not covered by the signature";
    return PayloadType::kNone;
  }
  return PayloadType::kFullPackage;
}

bool PayloadReader::TryTrailer(uint64_t end) {
  if (end < kMagicSize + kLengthSize || end > file_.length()) {
    VLOG(1) << "Could not find a valid starting position";
    return false;
  }
  const uint8_t* data = file_.data();
  // Stored unsigned, but a payload of 2^31 bytes or more is never one of ours, however
  // large the file.
  const uint32_t length = ReadUint32(data, end - kLengthSize);
  if (length > static_cast<uint32_t>(INT32_MAX) || length > end - kMagicSize - kLengthSize) {
    VLOG(1) << "Could not find a valid starting position";
    return false;
  }
  const uint64_t magic = end - kMagicSize - kLengthSize - length;
  if (memcmp(data + magic, kPayloadMagic, sizeof(kPayloadMagic)) != 0) {
    VLOG(1) << "Payload data invalid";
    return false;
  }
  payload_length_ = length;
  payload_offset_ = magic + kMagicSize;
  return true;
}

std::string_view PayloadReader::PayloadView() const {
  switch (type_) {
    case PayloadType::kExternalTrackingData:
      return external_payload_;
    case PayloadType::kTrackingData:
    case PayloadType::kFullPackage:
      return std::string_view(reinterpret_cast<const char*>(file_.data()) + payload_offset_,
                              payload_length_);
    default:
      return std::string_view();
  }
}

}  // namespace installer
