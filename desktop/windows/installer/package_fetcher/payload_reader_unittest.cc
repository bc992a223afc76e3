#include "desktop/windows/installer/package_fetcher/payload_reader.h"

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Trailer(const std::string& payload) {
  return "QVZ" + payload + Le32(static_cast<uint32_t>(payload.size()));
}

// A minimal PE image: DOS header pointing at the PE signature at 64, |machine|, zeros up to
// and including the security directory entry of the matching optional header.
std::string MakeImage(uint16_t machine) {
  const size_t header_end = 64 + (machine == 0x14C ? 160 : 176);
  std::string image(header_end, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image.replace(0x3C, 4, Le32(64));
  image.replace(64, 4, std::string("PE\0\0", 4));
  image[68] = static_cast<char>(machine & 0xFF);
  image[69] = static_cast<char>(machine >> 8);
  return image;
}

uint32_t ReadLe32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

// Points the security directory entry of |image| at a certificate table.
void SetSecurityEntry(std::string* image, uint32_t offset, uint32_t size) {
  const uint32_t pe = ReadLe32(*image, 0x3C);
  const bool x86 = (ReadLe32(*image, pe + 4) & 0xFFFF) == 0x14C;
  const size_t entry = pe + (x86 ? 152 : 168);
  image->replace(entry, 4, Le32(offset));
  image->replace(entry + 4, 4, Le32(size));
}

class PayloadReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    logging::SetVlogLevels(1, "");
  }

  void TearDown() override {
    logging::SetVlogLevels(0, "");
  }

  static base::FilePath Fixture(const wchar_t* name) {
    return base::FilePath(test::GetTestBinFolder()).Append(L"payload_fixtures").Append(name);
  }

  static std::string ReadBytes(const base::FilePath& path) {
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
    return contents;
  }

  // The unsigned 64-bit host executable of the build.
  static std::string InstallerBytes() {
    return ReadBytes(base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe"));
  }

  base::FilePath WriteTemp(const wchar_t* name, const std::string& contents) {
    const base::FilePath path = temp_dir_.GetPath().Append(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
    return path;
  }

  bool Logged(int severity, const std::string& message) const {
    return log_.Logged(severity, message);
  }

  base::ScopedTempDir temp_dir_;
  base::test::ScopedLogCapture log_;
};

TEST_F(PayloadReaderTest, UnsignedInstaller) {
  const std::string package = ReadBytes(Fixture(L"package.7z"));
  ASSERT_EQ("7z\xBC\xAF\x27\x1C", package.substr(0, 6));
  const std::string installer = InstallerBytes();
  {
    PayloadReader reader(WriteTemp(L"full.exe", installer + Trailer(package)));
    EXPECT_EQ(PayloadType::kFullPackage, reader.type());
    EXPECT_EQ(package, reader.GetPayload());
    EXPECT_TRUE(Logged(logging::LOG_INFO, "Reading Payload"));
  }
  {
    PayloadReader reader(WriteTemp(L"tracking.exe", installer + Trailer("abc")));
    EXPECT_EQ(PayloadType::kTrackingData, reader.type());
    EXPECT_EQ("abc", reader.GetPayload());
  }
  {
    // Six bytes of the 7z signature but one short is tracking data, not a package.
    PayloadReader reader(WriteTemp(L"short.exe", installer + Trailer(package.substr(0, 5))));
    EXPECT_EQ(PayloadType::kTrackingData, reader.type());
  }
  log_.Clear();
  PayloadReader reader(WriteTemp(L"plain.exe", installer));
  EXPECT_EQ(PayloadType::kNone, reader.type());
  EXPECT_EQ("", reader.GetPayload());
  EXPECT_TRUE(Logged(logging::LOG_WARNING, "No valid payload found"));
}

TEST_F(PayloadReaderTest, SignedInstallers) {
  const std::string package = ReadBytes(Fixture(L"package.7z"));
  const std::string tracking = ReadBytes(Fixture(L"tracking.txt"));
  ASSERT_FALSE(tracking.empty());

  EXPECT_EQ(PayloadType::kNone, PayloadReader(Fixture(L"signed.exe")).type());
  EXPECT_TRUE(Logged(logging::LOG_WARNING, "No valid payload found"));

  // Bytes after the certificate table are outside the signature: a package there is refused.
  log_.Clear();
  {
    PayloadReader reader(Fixture(L"signed_full_appended.exe"));
    EXPECT_EQ(PayloadType::kNone, reader.type());
    EXPECT_EQ("", reader.GetPayload());
    EXPECT_FALSE(reader.WritePayload(temp_dir_.GetPath().Append(L"refused.7z")));
    EXPECT_TRUE(
        Logged(logging::LOG_ERROR, "Found full package that is not covered by the signature"));
  }

  PayloadReader covered_package(Fixture(L"signed_full_covered.exe"));
  EXPECT_EQ(PayloadType::kFullPackage, covered_package.type());
  EXPECT_EQ(package, covered_package.GetPayload());

  PayloadReader covered_tracking(Fixture(L"signed_tracking_covered.exe"));
  EXPECT_EQ(PayloadType::kTrackingData, covered_tracking.type());
  EXPECT_EQ(tracking, covered_tracking.GetPayload());

  PayloadReader appended_tracking(Fixture(L"signed_tracking_appended.exe"));
  EXPECT_EQ(PayloadType::kTrackingData, appended_tracking.type());
  EXPECT_EQ(tracking, appended_tracking.GetPayload());

  // A broken trailer at the end does not hide the one before the certificate table.
  PayloadReader both(WriteTemp(L"both.exe", ReadBytes(Fixture(L"signed_tracking_covered.exe")) +
                                                "QVZ" + Le32(0xFFFFFFFF)));
  EXPECT_EQ(PayloadType::kTrackingData, both.type());
  EXPECT_EQ(tracking, both.GetPayload());
}

TEST_F(PayloadReaderTest, TrailerLengthsOutsideTheFileFailTheTry) {
  const std::string base = InstallerBytes() + "QVZxyz";
  const uint64_t end = base.size() + 4;
  const uint32_t lengths[] = {0x80000000u, 0xFFFFFFFFu, static_cast<uint32_t>(end - 6)};
  for (uint32_t length : lengths) {
    SCOPED_TRACE(length);
    log_.Clear();
    PayloadReader reader(WriteTemp(L"length.exe", base + Le32(length)));
    EXPECT_EQ(PayloadType::kNone, reader.type());
    EXPECT_TRUE(Logged(-1, "Could not find a valid starting position"));
    EXPECT_FALSE(Logged(-1, "Payload data invalid"));
  }

  // The largest length that fits puts the magic at the very start, where "MZ" stands.
  log_.Clear();
  PayloadReader whole(WriteTemp(L"whole.exe", base + Le32(static_cast<uint32_t>(end - 7))));
  EXPECT_EQ(PayloadType::kNone, whole.type());
  EXPECT_TRUE(Logged(-1, "Payload data invalid"));

  // A length one short misses the magic too.
  PayloadReader off_by_one(WriteTemp(L"off.exe", base + Le32(2)));
  EXPECT_EQ(PayloadType::kNone, off_by_one.type());
}

// The length is unsigned in the file, but a payload of 2 GiB or more is refused even in a
// file large enough to hold it.
TEST_F(PayloadReaderTest, TrailerLengthOf2GiBOrMoreFailsInAFileThatHoldsIt) {
  const uint32_t kTooLong = 0x80000000u;
  const std::string head = MakeImage(0x8664) + "QVZ";
  const base::FilePath path = temp_dir_.GetPath().Append(L"huge.exe");
  // A sparse file: the payload bytes between the magic and the length take no disk space.
  auto write_huge = [&](uint32_t length) {
    base::File file(path, base::File::FLAG_CREATE_ALWAYS | base::File::FLAG_WRITE);
    const std::string trailer = Le32(length);
    const int64_t end = static_cast<int64_t>(head.size()) + length;
    return file.IsValid() &&
           file.Write(0, head.data(), static_cast<int>(head.size())) ==
               static_cast<int>(head.size()) &&
           file.SetLength(end + 4) && file.Write(end, trailer.data(), 4) == 4;
  };

  ASSERT_TRUE(write_huge(kTooLong));
  {
    PayloadReader reader(path);
    EXPECT_EQ(PayloadType::kNone, reader.type());
    EXPECT_TRUE(Logged(-1, "Could not find a valid starting position"));
  }
  ASSERT_TRUE(write_huge(kTooLong - 1));
  EXPECT_EQ(PayloadType::kTrackingData, PayloadReader(path).type());
}

TEST_F(PayloadReaderTest, CertificateTableOffsets) {
  std::string signed_image = ReadBytes(Fixture(L"signed.exe"));
  const uint32_t size = static_cast<uint32_t>(signed_image.size());

  SetSecurityEntry(&signed_image, size + 1, 8);
  {
    PayloadReader reader(WriteTemp(L"past_end.exe", signed_image));
    EXPECT_EQ(PayloadType::kCorrupted, reader.type());
    EXPECT_EQ("", reader.GetPayload());
    EXPECT_TRUE(Logged(logging::LOG_ERROR,
                       "Security directory is located past the image file length"));
  }
  // At the very end, or too close to the start for a trailer: no payload, nothing read amiss.
  for (uint32_t offset : {size, 3u, 0u}) {
    SetSecurityEntry(&signed_image, offset, 8);
    EXPECT_EQ(PayloadType::kNone, PayloadReader(WriteTemp(L"odd.exe", signed_image)).type());
  }
}

TEST_F(PayloadReaderTest, SecurityEntryOfEitherOptionalHeader) {
  // The trailer sits before a certificate table whose own last bytes are no valid length.
  for (uint16_t machine : {static_cast<uint16_t>(0x14C), static_cast<uint16_t>(0x8664)}) {
    SCOPED_TRACE(machine);
    std::string image = MakeImage(machine) + Trailer("covered");
    SetSecurityEntry(&image, static_cast<uint32_t>(image.size()), 8);
    image += "CERTDATA";
    PayloadReader reader(WriteTemp(L"synthetic.exe", image));
    EXPECT_EQ(PayloadType::kTrackingData, reader.type());
    EXPECT_EQ("covered", reader.GetPayload());
  }
}

TEST_F(PayloadReaderTest, FilesThatAreNoPeImage) {
  std::vector<std::pair<const char*, std::string>> cases;
  cases.emplace_back("empty", "");
  cases.emplace_back("text", "This is not an executable" + Trailer("abc"));
  cases.emplace_back("short dos header", "MZ" + Trailer("abc"));
  std::string image = MakeImage(0x8664);
  std::string negative = image;
  negative.replace(0x3C, 4, Le32(0x80000000u));
  cases.emplace_back("negative pe offset", negative + Trailer("abc"));
  std::string past_end = image;
  past_end.replace(0x3C, 4, Le32(0x7FFFFFF0u));
  cases.emplace_back("pe offset past the end", past_end);
  std::string no_signature = image;
  no_signature[65] = 'X';
  cases.emplace_back("no pe signature", no_signature + Trailer("abc"));
  cases.emplace_back("truncated optional header", image.substr(0, image.size() - 1));
  std::string x86 = MakeImage(0x14C);
  cases.emplace_back("truncated 32-bit optional header", x86.substr(0, x86.size() - 1));
  cases.emplace_back("machine past the end", image.substr(0, 69));

  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.first);
    PayloadReader reader(WriteTemp(L"image.exe", entry.second));
    EXPECT_EQ(PayloadType::kCorrupted, reader.type());
    EXPECT_EQ("", reader.GetPayload());
    EXPECT_FALSE(reader.WritePayload(temp_dir_.GetPath().Append(L"out.bin")));
    EXPECT_FALSE(base::PathExists(temp_dir_.GetPath().Append(L"out.bin")));
  }
  // The complete minimal image is sound.
  EXPECT_EQ(PayloadType::kTrackingData,
            PayloadReader(WriteTemp(L"image.exe", image + Trailer("abc"))).type());
}

TEST_F(PayloadReaderTest, MissingFile) {
  PayloadReader reader(temp_dir_.GetPath().Append(L"missing.exe"));
  EXPECT_EQ(PayloadType::kNone, reader.type());
  EXPECT_TRUE(Logged(logging::LOG_ERROR, "Could not initialize memory mapped file"));
  EXPECT_FALSE(reader.WritePayload(temp_dir_.GetPath().Append(L"out.bin")));

  reader.SetPayload("from command line");
  EXPECT_EQ(PayloadType::kExternalTrackingData, reader.type());
  EXPECT_EQ("from command line", reader.GetPayload());
}

TEST_F(PayloadReaderTest, SetPayloadReplacesWhatTheFileHeld) {
  PayloadReader reader(Fixture(L"signed_full_covered.exe"));
  ASSERT_EQ(PayloadType::kFullPackage, reader.type());
  reader.SetPayload("");
  EXPECT_EQ(PayloadType::kExternalTrackingData, reader.type());
  EXPECT_EQ("", reader.GetPayload());

  const base::FilePath out = WriteTemp(L"empty.txt", "older and longer contents");
  EXPECT_TRUE(reader.WritePayload(out));
  EXPECT_EQ("", ReadBytes(out));
}

TEST_F(PayloadReaderTest, WritePayloadRoundTrip) {
  const std::string package = ReadBytes(Fixture(L"package.7z"));
  const base::FilePath installer = WriteTemp(L"full.exe", InstallerBytes() + Trailer(package));
  const base::FilePath package_out = temp_dir_.GetPath().Append(L"package.7z");
  std::string copy;
  {
    PayloadReader reader(installer);
    ASSERT_EQ(PayloadType::kFullPackage, reader.type());
    WriteTemp(L"package.7z", std::string(package.size() * 3, 'x'));  // Gets truncated.
    log_.Clear();
    EXPECT_TRUE(reader.WritePayload(package_out));
    EXPECT_TRUE(Logged(logging::LOG_INFO,
                       "Writing payload to file " + package_out.ToUtf8()));
    EXPECT_FALSE(reader.WritePayload(temp_dir_.GetPath().Append(L"no\\such\\folder.7z")));
    copy = reader.GetPayload();
  }
  EXPECT_EQ(package, ReadBytes(package_out));
  // The copy outlives the reader, and the reader let go of the file.
  EXPECT_EQ(package, copy);
  EXPECT_TRUE(base::DeletePath(installer, false));

  PayloadReader tracking(Fixture(L"signed_tracking_covered.exe"));
  const base::FilePath tracking_out = temp_dir_.GetPath().Append(L"tracking.txt");
  EXPECT_TRUE(tracking.WritePayload(tracking_out));
  EXPECT_EQ(ReadBytes(Fixture(L"tracking.txt")), ReadBytes(tracking_out));
}

TEST(PayloadReaderTypeNameTest, Names) {
  EXPECT_EQ("none", PayloadReader::GetTypeName(PayloadType::kNone));
  EXPECT_EQ("tracking_data", PayloadReader::GetTypeName(PayloadType::kTrackingData));
  EXPECT_EQ("external_tracking_data",
            PayloadReader::GetTypeName(PayloadType::kExternalTrackingData));
  EXPECT_EQ("full_package", PayloadReader::GetTypeName(PayloadType::kFullPackage));
  EXPECT_EQ("corrupted", PayloadReader::GetTypeName(PayloadType::kCorrupted));
  EXPECT_EQ("", PayloadReader::GetTypeName(static_cast<PayloadType>(5)));
}

}  // namespace
}  // namespace installer
