#include "desktop/windows/installer/test/installer_file.h"

#include <windows.h>

#include <wintrust.h>

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace installer {
namespace test {

namespace {

void AppendLe32(uint32_t value, std::string* bytes) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes->push_back(static_cast<char>((value >> shift) & 0xFF));
}

uint32_t ReadLe32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

bool WriteWholeFile(const base::FilePath& path, const std::string& bytes) {
  if (base::WriteFileFromBuffer(path, bytes.data(), static_cast<int>(bytes.size())) !=
      static_cast<int>(bytes.size())) {
    LOG(ERROR) << "Cannot write " << path;
    return false;
  }
  return true;
}

}  // namespace

bool AppendPayload(const base::FilePath& path, std::string_view payload) {
  std::string trailer = "QVZ";
  trailer.append(payload);
  AppendLe32(static_cast<uint32_t>(payload.size()), &trailer);
  if (!base::AppendToFile(path, trailer.data(), static_cast<int>(trailer.size()))) {
    LOG(ERROR) << "Cannot append a payload to " << path;
    return false;
  }
  return true;
}

bool AddCertificateTable(const base::FilePath& path) {
  std::string image;
  if (!base::ReadFileToString(path, &image) || image.size() < sizeof(IMAGE_DOS_HEADER)) {
    LOG(ERROR) << "Cannot read " << path;
    return false;
  }
  const uint32_t pe_offset = ReadLe32(image, offsetof(IMAGE_DOS_HEADER, e_lfanew));
  const size_t directory_offset = pe_offset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                  offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                                  IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
  if (directory_offset + sizeof(IMAGE_DATA_DIRECTORY) > image.size() ||
      ReadLe32(image, pe_offset) != IMAGE_NT_SIGNATURE) {
    LOG(ERROR) << path << " is not a PE image";
    return false;
  }
  // The table starts 8-aligned: a WIN_CERTIFICATE header and some bytes that are no
  // signature.
  image.resize((image.size() + 7) & ~size_t{7}, '\0');
  const uint32_t table_offset = static_cast<uint32_t>(image.size());
  const std::string certificate(24, '\x5A');
  std::string table;
  AppendLe32(static_cast<uint32_t>(8 + certificate.size()), &table);
  table.push_back(static_cast<char>(WIN_CERT_REVISION_2_0 & 0xFF));
  table.push_back(static_cast<char>(WIN_CERT_REVISION_2_0 >> 8));
  table.push_back(static_cast<char>(WIN_CERT_TYPE_PKCS_SIGNED_DATA & 0xFF));
  table.push_back(static_cast<char>(WIN_CERT_TYPE_PKCS_SIGNED_DATA >> 8));
  table += certificate;
  image += table;
  std::string directory;
  AppendLe32(table_offset, &directory);
  AppendLe32(static_cast<uint32_t>(table.size()), &directory);
  image.replace(directory_offset, directory.size(), directory);
  return WriteWholeFile(path, image);
}

}  // namespace test
}  // namespace installer
