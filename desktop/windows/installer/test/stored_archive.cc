#include "desktop/windows/installer/test/stored_archive.h"

#include <stdint.h>

#include <utility>
#include <vector>

#include <lzmasdk/7zCrc.h>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/test/installer_file.h"

namespace installer {
namespace test {

namespace {

// Property ids of the 7z header.
enum : uint8_t {
  kEnd = 0x00,
  kHeader = 0x01,
  kMainStreamsInfo = 0x04,
  kFilesInfo = 0x05,
  kPackInfo = 0x06,
  kUnpackInfo = 0x07,
  kSubStreamsInfo = 0x08,
  kSize = 0x09,
  kFolder = 0x0B,
  kCodersUnpackSize = 0x0C,
  kNumUnpackStream = 0x0D,
  kEmptyStream = 0x0E,
  kEmptyFile = 0x0F,
  kName = 0x11,
};

// The archive's variable-length number: the leading one bits of the first byte count the
// bytes that follow, least significant first.
void AppendNumber(uint64_t value, std::string* out) {
  uint8_t first = 0;
  uint8_t mask = 0x80;
  int extra = 0;
  for (; extra < 8; ++extra) {
    if (value < (uint64_t{1} << (7 * (extra + 1)))) {
      first |= static_cast<uint8_t>(value >> (8 * extra));
      break;
    }
    first |= mask;
    mask >>= 1;
  }
  out->push_back(static_cast<char>(first));
  for (; extra > 0; --extra) {
    out->push_back(static_cast<char>(value & 0xFF));
    value >>= 8;
  }
}

void AppendLittleEndian(uint64_t value, int bytes, std::string* out) {
  for (int i = 0; i < bytes; ++i)
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A bit per entry, the first in the highest bit of the first byte.
std::string BitVector(const std::vector<bool>& bits) {
  std::string out((bits.size() + 7) / 8, '\0');
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i])
      out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
  }
  return out;
}

void AppendProperty(uint8_t id, const std::string& data, std::string* out) {
  out->push_back(static_cast<char>(id));
  AppendNumber(data.size(), out);
  *out += data;
}

}  // namespace

std::string MakeStoredArchive(const base::FilePath& folder) {
  static const bool crc_table_ready = (CrcGenerateTable(), true);
  (void)crc_table_ready;
  std::vector<std::wstring> names;
  std::vector<std::string> contents;
  base::FileEnumerator files(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    std::string text;
    if (!base::ReadFileToString(file, &text)) {
      LOG(ERROR) << "Cannot read " << file;
      return std::string();
    }
    names.push_back(file.value().substr(folder.value().size() + 1));
    contents.push_back(std::move(text));
  }

  std::string packed;
  std::vector<uint64_t> sizes;
  std::vector<bool> empty;
  for (const std::string& text : contents) {
    empty.push_back(text.empty());
    if (!text.empty()) {
      packed += text;
      sizes.push_back(text.size());
    }
  }

  std::string header(1, static_cast<char>(kHeader));
  if (!sizes.empty()) {
    header.push_back(static_cast<char>(kMainStreamsInfo));
    header.push_back(static_cast<char>(kPackInfo));
    AppendNumber(0, &header);  // Where the packed stream starts, after the start header.
    AppendNumber(1, &header);
    header.push_back(static_cast<char>(kSize));
    AppendNumber(packed.size(), &header);
    header.push_back(static_cast<char>(kEnd));
    header.push_back(static_cast<char>(kUnpackInfo));
    header.push_back(static_cast<char>(kFolder));
    AppendNumber(1, &header);
    header.push_back(0);  // Not external.
    AppendNumber(1, &header);  // One coder: the copy method, whose id is the one byte 0.
    header.push_back(0x01);
    header.push_back(0x00);
    header.push_back(static_cast<char>(kCodersUnpackSize));
    AppendNumber(packed.size(), &header);
    header.push_back(static_cast<char>(kEnd));
    header.push_back(static_cast<char>(kSubStreamsInfo));
    header.push_back(static_cast<char>(kNumUnpackStream));
    AppendNumber(sizes.size(), &header);
    if (sizes.size() > 1) {
      header.push_back(static_cast<char>(kSize));
      for (size_t i = 0; i + 1 < sizes.size(); ++i)
        AppendNumber(sizes[i], &header);
    }
    header.push_back(static_cast<char>(kEnd));
    header.push_back(static_cast<char>(kEnd));
  }
  header.push_back(static_cast<char>(kFilesInfo));
  AppendNumber(names.size(), &header);
  if (sizes.size() != names.size()) {
    AppendProperty(kEmptyStream, BitVector(empty), &header);
    // Every empty entry is a file.
    AppendProperty(kEmptyFile, BitVector(std::vector<bool>(names.size() - sizes.size(), true)),
                   &header);
  }
  std::string name_data(1, '\0');  // Not external.
  for (const std::wstring& name : names) {
    for (wchar_t c : name)
      AppendLittleEndian(static_cast<uint16_t>(c), 2, &name_data);
    AppendLittleEndian(0, 2, &name_data);
  }
  AppendProperty(kName, name_data, &header);
  header.push_back(static_cast<char>(kEnd));
  header.push_back(static_cast<char>(kEnd));

  std::string start_header;
  AppendLittleEndian(packed.size(), 8, &start_header);
  AppendLittleEndian(header.size(), 8, &start_header);
  AppendLittleEndian(CrcCalc(header.data(), header.size()), 4, &start_header);
  std::string archive("7z\xBC\xAF\x27\x1C\x00\x04", 8);
  AppendLittleEndian(CrcCalc(start_header.data(), start_header.size()), 4, &archive);
  return archive + start_header + packed + header;
}

bool WritePackageInstaller(const base::FilePath& folder,
                           const base::FilePath& host,
                           const base::FilePath& package) {
  const std::string archive = MakeStoredArchive(folder);
  if (archive.empty())
    return false;
  if (!base::CopySingleFile(host, package)) {
    PLOG(ERROR) << "Cannot copy " << host << " to " << package;
    return false;
  }
  return AppendPayload(package, archive);
}

}  // namespace test
}  // namespace installer
