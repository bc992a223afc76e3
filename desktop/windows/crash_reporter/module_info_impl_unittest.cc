#include "desktop/windows/crash_reporter/module_info_impl.h"

#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// A small PE32+ module file: one section at RVA 0x1000 (file offset 0x400) holding an
// export directory and a version resource. One page long, so that a read past its end
// leaves the mapped view and faults.
constexpr size_t kImageSize = 0x1000;
constexpr uint32_t kNtOffset = 0x80;
constexpr uint32_t kOptionalOffset = kNtOffset + 4 + sizeof(IMAGE_FILE_HEADER);
constexpr uint32_t kSectionOffset = kOptionalOffset + sizeof(IMAGE_OPTIONAL_HEADER64);
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionFile = 0x400;
constexpr uint32_t kExportsRva = 0x1000;
constexpr uint32_t kExportNameRva = 0x1080;
constexpr uint32_t kResourcesRva = 0x1100;
constexpr uint32_t kVersionRva = kResourcesRva + 0x60;
constexpr uint32_t kTimestamp = 0x5EADBEEF;
constexpr uint64_t kLoadAddress = 0x7FF612340000;

uint32_t FileOffset(uint32_t rva) {
  return rva - kSectionRva + kSectionFile;
}

class TestImage {
 public:
  TestImage() : bytes_(kImageSize, 0) {
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = kNtOffset;
    Put(0, dos);
    Put<uint32_t>(kNtOffset, IMAGE_NT_SIGNATURE);
    IMAGE_FILE_HEADER file = {};
    file.Machine = IMAGE_FILE_MACHINE_AMD64;
    file.NumberOfSections = 1;
    file.TimeDateStamp = kTimestamp;
    file.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    Put(kNtOffset + 4, file);
    IMAGE_OPTIONAL_HEADER64 optional = {};
    optional.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    optional.BaseOfCode = 0x1000;
    optional.SizeOfCode = 0x200;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT] = {kExportsRva, 0x40};
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kResourcesRva, 0x200};
    Put(kOptionalOffset, optional);
    IMAGE_SECTION_HEADER section = {};
    memcpy(section.Name, ".rdata", 6);
    section.VirtualAddress = kSectionRva;
    section.SizeOfRawData = kImageSize - kSectionFile;
    section.PointerToRawData = kSectionFile;
    Put(kSectionOffset, section);

    IMAGE_EXPORT_DIRECTORY exports = {};
    exports.Name = kExportNameRva;
    Put(FileOffset(kExportsRva), exports);
    PutText(FileOffset(kExportNameRva), "exported_name.dll");

    // Type 16 -> id 1 -> first language -> data entry.
    const uint32_t root = FileOffset(kResourcesRva);
    PutDirectory(root, 16, 0x18 | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    PutDirectory(root + 0x18, 1, 0x30 | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    PutDirectory(root + 0x30, 0x409, 0x48);
    Put(root + 0x48, IMAGE_RESOURCE_DATA_ENTRY{kVersionRva, 0x100, 0, 0});
    uint32_t at = FileOffset(kVersionRva);
    at = PutWide(at, L"VS_VERSION_INFO");
    at = PutWide(at + 2, L"OriginalFilename");
    at = PutWide(at + 2, L"original.dll");
    at = PutWide(at, L"FileVersion");
    PutWide(at + 2, L"1.2.3.4");
  }

  template <typename T>
  void Put(uint32_t offset, const T& value) {
    memcpy(&bytes_[offset], &value, sizeof(T));
  }
  void PutText(uint32_t offset, const char* text) { PutBytes(offset, text, strlen(text)); }
  void PutBytes(uint32_t offset, const void* data, size_t size) {
    memcpy(&bytes_[offset], data, size);
  }
  // Writes UTF-16 text and its NUL; returns the offset after them.
  uint32_t PutWide(uint32_t offset, const wchar_t* text) {
    const size_t size = (wcslen(text) + 1) * sizeof(wchar_t);
    memcpy(&bytes_[offset], text, size);
    return offset + static_cast<uint32_t>(size);
  }
  void PutDirectory(uint32_t offset, uint16_t id, uint32_t target) {
    IMAGE_RESOURCE_DIRECTORY directory = {};
    directory.NumberOfIdEntries = 1;
    Put(offset, directory);
    IMAGE_RESOURCE_DIRECTORY_ENTRY entry = {};
    entry.Id = id;
    entry.OffsetToData = target;
    Put(offset + sizeof(directory), entry);
  }
  void SetDirectory(int index, uint32_t rva) {
    Put(kOptionalOffset + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
            index * sizeof(IMAGE_DATA_DIRECTORY),
        IMAGE_DATA_DIRECTORY{rva, rva ? 0x40u : 0u});
  }
  void Truncate(size_t size) { bytes_.resize(size); }

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class ModuleInfoImplTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  // Writes |image| to a file named |file_name| and reads it as a module of that name.
  void Load(const TestImage& image, const wchar_t* name, ModuleInfoImpl* module,
            const wchar_t* file_name = L"module.bin") {
    const base::FilePath path = temp_dir_.GetPath().Append(file_name);
    ASSERT_EQ(static_cast<int>(image.bytes().size()),
              base::WriteFileFromBuffer(path, reinterpret_cast<const char*>(image.bytes().data()),
                                        static_cast<int>(image.bytes().size())));
    base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                               nullptr));
    ASSERT_TRUE(file.IsValid());
    module->Init(name, file.Get(), kLoadAddress, 0x5000);
  }

  base::ScopedTempDir temp_dir_;
};

TEST_F(ModuleInfoImplTest, ReadsHeadersVersionAndExportName) {
  TestImage image;
  ModuleInfoImpl named;
  Load(image, L"snapshot_name.dll", &named);
  EXPECT_STREQ("snapshot_name.dll", named.GetName());
  EXPECT_STREQ("1.2.3.4", named.GetVersion());
  EXPECT_EQ(kTimestamp, named.GetTimestamp());
  EXPECT_EQ(kLoadAddress, named.GetBaseAddress());
  EXPECT_EQ(kLoadAddress, named.GetCodeBase());
  EXPECT_EQ(0x1200u, named.GetCodeSize());
  EXPECT_EQ(0x5000u, named.GetSize());

  // Without a snapshot name the export directory names it.
  ModuleInfoImpl unnamed;
  Load(image, L"", &unnamed);
  EXPECT_STREQ("exported_name.dll", unnamed.GetName());
  EXPECT_STREQ("1.2.3.4", unnamed.GetVersion());
}

TEST_F(ModuleInfoImplTest, NameFallsBackToVersionResourceThenMappedFile) {
  TestImage image;
  image.SetDirectory(IMAGE_DIRECTORY_ENTRY_EXPORT, 0);
  ModuleInfoImpl from_version;
  Load(image, nullptr, &from_version);
  EXPECT_STREQ("original.dll", from_version.GetName());

  image.SetDirectory(IMAGE_DIRECTORY_ENTRY_RESOURCE, 0);
  ModuleInfoImpl from_file;
  Load(image, L"", &from_file, L"nameless_module.bin");
  EXPECT_STREQ("nameless_module.bin", from_file.GetName());
  EXPECT_STREQ("", from_file.GetVersion());
}

TEST_F(ModuleInfoImplTest, SnapshotNameIsCutAt127Characters) {
  const std::wstring long_name(200, L'n');
  ModuleInfoImpl module;
  Load(TestImage(), long_name.c_str(), &module);
  EXPECT_EQ(std::string(127, 'n'), module.GetName());
}

// A corrupted or hostile module file must never make the reporter read outside the view:
// each image below points somewhere past the end of the one-page file, where a read
// faults.
TEST_F(ModuleInfoImplTest, HostileImagesStayInsideTheView) {
  const uint32_t root = FileOffset(kResourcesRva);
  {
    SCOPED_TRACE("NT headers past the end");
    TestImage image;
    image.Put<int32_t>(offsetof(IMAGE_DOS_HEADER, e_lfanew), kImageSize - 2);
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_EQ(0u, module.GetCodeSize());
    EXPECT_EQ(0u, module.GetTimestamp());
  }
  {
    SCOPED_TRACE("negative NT header offset");
    TestImage image;
    image.Put<int32_t>(offsetof(IMAGE_DOS_HEADER, e_lfanew), -4);
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_EQ(0u, module.GetTimestamp());
  }
  {
    SCOPED_TRACE("optional header cut off");
    TestImage image;
    image.Truncate(kOptionalOffset + 16);
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_EQ(0u, module.GetTimestamp());
  }
  {
    SCOPED_TRACE("a section table longer than the file");
    TestImage image;
    image.Put<uint16_t>(kNtOffset + 4 + offsetof(IMAGE_FILE_HEADER, NumberOfSections), 0xFFFF);
    // The only section that would hold the exports is moved out of the way.
    image.Put<uint32_t>(kSectionOffset + offsetof(IMAGE_SECTION_HEADER, VirtualAddress),
                        0x90000);
    ModuleInfoImpl module;
    Load(image, L"", &module, L"sections.bin");
    EXPECT_EQ(kTimestamp, module.GetTimestamp());
    EXPECT_STREQ("sections.bin", module.GetName());
    EXPECT_STREQ("", module.GetVersion());
  }
  {
    SCOPED_TRACE("export name running to the end of the file");
    TestImage image;
    image.Put<uint32_t>(FileOffset(kExportsRva) + offsetof(IMAGE_EXPORT_DIRECTORY, Name),
                        kSectionRva + (kImageSize - kSectionFile) - 3);
    image.PutText(kImageSize - 3, "xyz");
    ModuleInfoImpl module;
    Load(image, L"", &module);
    EXPECT_STREQ("xyz", module.GetName());
  }
  {
    SCOPED_TRACE("resource entries past the end");
    TestImage image;
    image.Put<uint16_t>(root + offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries), 0xFFFF);
    image.Put<uint16_t>(root + sizeof(IMAGE_RESOURCE_DIRECTORY), 99);  // No type 16 first.
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_STREQ("", module.GetVersion());
  }
  {
    SCOPED_TRACE("resource subdirectory far outside");
    TestImage image;
    image.PutDirectory(root, 16, 0x7FFFFF00 | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_STREQ("", module.GetVersion());
  }
  {
    SCOPED_TRACE("resource directories pointing at themselves");
    TestImage image;
    image.PutDirectory(root, 16, 0 | IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_STREQ("", module.GetVersion());
  }
  {
    SCOPED_TRACE("version data larger than the file, value at its very end");
    TestImage image;
    const uint32_t value_rva = kSectionRva + (kImageSize - kSectionFile) - 8;
    image.Put(root + 0x48, IMAGE_RESOURCE_DATA_ENTRY{value_rva - 24, 0xFFFFFFFF, 0, 0});
    image.PutWide(kImageSize - 32, L"FileVersion");
    image.PutBytes(kImageSize - 8, "9\0.\0" "9\0.\0", 8);  // No NUL before the end.
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_STREQ("9.9.", module.GetVersion());
  }
  {
    SCOPED_TRACE("version data starting past the end");
    TestImage image;
    image.Put(root + 0x48, IMAGE_RESOURCE_DATA_ENTRY{0x7FFFFFF0, 0x100, 0, 0});
    ModuleInfoImpl module;
    Load(image, L"a.dll", &module);
    EXPECT_STREQ("", module.GetVersion());
  }
}

TEST_F(ModuleInfoImplTest, UnreadableFileKeepsSnapshotData) {
  ModuleInfoImpl module;
  module.Init(L"gone.dll", INVALID_HANDLE_VALUE, kLoadAddress, 0x3000);
  EXPECT_STREQ("gone.dll", module.GetName());
  EXPECT_EQ(kLoadAddress, module.GetBaseAddress());
  EXPECT_EQ(0x3000u, module.GetSize());
  EXPECT_EQ(0u, module.GetCodeSize());
}

}  // namespace
}  // namespace crash_reporter
