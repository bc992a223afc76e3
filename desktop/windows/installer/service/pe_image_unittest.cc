#include "desktop/windows/installer/service/pe_image.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/executable_path.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr uint32_t kNtOffset = 0x40;
constexpr uint32_t kOptionalOffset = kNtOffset + 24;

void PutU16(std::string* image, size_t offset, uint16_t value) {
  (*image)[offset] = static_cast<char>(value & 0xFF);
  (*image)[offset + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string* image, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    (*image)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A minimal PE image: DOS header, NT headers with 16 data directories, no sections.
std::string MakeImage(bool is_64) {
  const uint16_t optional_size = is_64 ? 240 : 224;
  std::string image(kOptionalOffset + optional_size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutU32(&image, 0x3C, kNtOffset);
  memcpy(&image[kNtOffset], "PE\0\0", 4);
  PutU16(&image, kNtOffset + 4, is_64 ? 0x8664 : 0x14C);  // Machine
  PutU16(&image, kNtOffset + 20, optional_size);          // SizeOfOptionalHeader
  PutU16(&image, kNtOffset + 22, 0x0102);                 // Characteristics
  PutU16(&image, kOptionalOffset, is_64 ? 0x20B : 0x10B);
  PutU32(&image, kOptionalOffset + (is_64 ? 108 : 92), 16);  // NumberOfRvaAndSizes
  return image;
}

size_t SecurityEntry(bool is_64) {
  return kOptionalOffset + (is_64 ? 112 : 96) + 4 * 8;
}

void SetCertificateTable(std::string* image, bool is_64, uint32_t offset, uint32_t size) {
  PutU32(image, SecurityEntry(is_64), offset);
  PutU32(image, SecurityEntry(is_64) + 4, size);
}

base::FilePath TestProgramPath() {
  base::FilePath path;
  EXPECT_TRUE(base::win::GetExecutablePath(&path));
  return path;
}

class PeImageTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(L"image.exe");
  }

  void Write(const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path_, contents.data(), static_cast<int>(contents.size())));
  }

  // The queries on a file holding |contents|: -1 when the file is not a readable image
  // for the query, else 0 or 1 for the answer.
  int Is64(const std::string& contents) {
    Write(contents);
    return Is64();
  }
  int HasTable(const std::string& contents) {
    Write(contents);
    return HasTable();
  }
  int Is64() {
    bool is_64 = false;
    return IsPE64(path_, &is_64) ? is_64 : -1;
  }
  int HasTable() {
    bool has_table = false;
    return HasCertificateTable(path_, &has_table) ? has_table : -1;
  }

  base::ScopedTempDir temp_dir_;
  base::FilePath path_;
};

TEST_F(PeImageTest, TellsPe32FromPe32Plus) {
  EXPECT_EQ(0, Is64(MakeImage(false)));
  EXPECT_EQ(1, Is64(MakeImage(true)));
  EXPECT_EQ(0, HasTable(MakeImage(false)));
  EXPECT_EQ(0, HasTable(MakeImage(true)));

  bool is_64 = false;
  ASSERT_TRUE(IsPE64(TestProgramPath(), &is_64));
  EXPECT_TRUE(is_64);
  bool has_table = true;
  ASSERT_TRUE(HasCertificateTable(TestProgramPath(), &has_table));
  EXPECT_FALSE(has_table);
}

TEST_F(PeImageTest, TruncatedHeadersAreNotImages) {
  for (bool is_64 : {false, true}) {
    const std::string image = MakeImage(is_64);
    Write(image);
    base::File file(path_, base::File::FLAG_OPEN | base::File::FLAG_WRITE);
    ASSERT_TRUE(file.IsValid());
    for (size_t length = image.size(); length-- > 0;) {
      ASSERT_TRUE(file.SetLength(static_cast<int64_t>(length)));
      EXPECT_EQ(-1, Is64()) << "64-bit " << is_64 << ", length " << length;
      // Both queries share the header reader; the table query also reads the directories.
      if (length >= kOptionalOffset + (is_64 ? 112u : 96u)) {
        EXPECT_EQ(-1, HasTable()) << "64-bit " << is_64 << ", length " << length;
      }
    }
  }
}

TEST_F(PeImageTest, GarbageIsNotAnImage) {
  std::string garbage(4096, '\0');
  uint32_t state = 12345;
  for (char& c : garbage) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  EXPECT_EQ(-1, Is64(garbage));
  garbage[0] = 'M';
  garbage[1] = 'Z';
  EXPECT_EQ(-1, Is64(garbage));
  EXPECT_EQ(-1, HasTable(garbage));

  std::string not_pe = MakeImage(true);
  not_pe[kNtOffset + 1] = 'X';
  EXPECT_EQ(-1, Is64(not_pe));

  bool is_64 = false;
  EXPECT_FALSE(IsPE64(temp_dir_.GetPath().Append(L"missing.exe"), &is_64));
  EXPECT_FALSE(IsPE64(temp_dir_.GetPath(), &is_64));
}

TEST_F(PeImageTest, HostileHeaderValues) {
  const std::string image = MakeImage(true);
  const uint32_t size = static_cast<uint32_t>(image.size());
  // e_lfanew: negative, huge, past the end, leaving no room for the file header.
  for (uint32_t nt_offset : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, size, size - 4, size - 20, 0u}) {
    std::string hostile = image;
    PutU32(&hostile, 0x3C, nt_offset);
    EXPECT_EQ(-1, Is64(hostile)) << nt_offset;
  }

  // SizeOfOptionalHeader past the end, or too small for the fixed fields.
  for (uint16_t optional_size : {0xFFFF, 241, 111, 2, 0}) {
    std::string hostile = image;
    PutU16(&hostile, kNtOffset + 20, optional_size);
    EXPECT_EQ(-1, Is64(hostile)) << optional_size;
  }
  std::string small32 = MakeImage(false);
  PutU16(&small32, kNtOffset + 20, 95);
  EXPECT_EQ(-1, Is64(small32));

  // A ROM image's magic, and a PE32+ magic in a header too small for it.
  std::string rom = image;
  PutU16(&rom, kOptionalOffset, 0x107);
  EXPECT_EQ(-1, Is64(rom));
  std::string short_plus = MakeImage(false);
  PutU16(&short_plus, kOptionalOffset, 0x20B);
  PutU16(&short_plus, kNtOffset + 20, 100);
  EXPECT_EQ(-1, Is64(short_plus + std::string(200, '\0')));
}

TEST_F(PeImageTest, ImageWithoutSecurityDirectoryHasNoTable) {
  for (bool is_64 : {false, true}) {
    // Fewer than five data directories: readable, and without a certificate table.
    for (uint32_t count : {0u, 4u}) {
      std::string image = MakeImage(is_64);
      PutU32(&image, kOptionalOffset + (is_64 ? 108 : 92), count);
      SetCertificateTable(&image, is_64, static_cast<uint32_t>(image.size()), 16);
      EXPECT_EQ(is_64 ? 1 : 0, Is64(image)) << count;
      EXPECT_EQ(0, HasTable(image + std::string(16, 'C'))) << count;
    }

    // Sixteen directories announced, but the header ends inside the security entry.
    std::string image = MakeImage(is_64);
    PutU16(&image, kNtOffset + 20, static_cast<uint16_t>((is_64 ? 112 : 96) + 4 * 8 + 4));
    EXPECT_EQ(-1, HasTable(image));
  }
}

// A non-empty entry is a certificate table, wherever it points: a caller then checks the
// signature, which fails for a table outside the file, rather than running the file
// unchecked.
TEST_F(PeImageTest, NonEmptySecurityEntryIsATableWhereverItPoints) {
  for (bool is_64 : {false, true}) {
    const std::string image = MakeImage(is_64);
    const uint32_t end = static_cast<uint32_t>(image.size());
    const std::string table(16, 'C');

    std::string signed_image = image;
    SetCertificateTable(&signed_image, is_64, end, 16);
    EXPECT_EQ(1, HasTable(signed_image + table));
    EXPECT_EQ(1, HasTable(signed_image + table.substr(0, 15)));
    EXPECT_EQ(1, HasTable(signed_image));

    std::string hostile = image;
    SetCertificateTable(&hostile, is_64, 0xFFFFFFF0u, 0x20);  // Wraps in 32 bits.
    EXPECT_EQ(1, HasTable(hostile + table));
    SetCertificateTable(&hostile, is_64, end, 0xFFFFFFFFu);
    EXPECT_EQ(1, HasTable(hostile + table));
    SetCertificateTable(&hostile, is_64, 0, 8);  // Over the headers.
    EXPECT_EQ(1, HasTable(hostile + table));
    SetCertificateTable(&hostile, is_64, 0xFFFFFFFFu, 0);  // Empty: no table.
    EXPECT_EQ(0, HasTable(hostile));
  }
}

}  // namespace
}  // namespace installer
