#include "desktop/windows/crash_reporter/module_info_impl.h"

#include <psapi.h>
#include <string.h>

#include <stddef.h>

#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_map_view.h"

namespace crash_reporter {

namespace {

constexpr uint16_t kVersionResourceType = 16;  // RT_VERSION.
constexpr uint16_t kVersionResourceId = 1;

// A view of a module file, which may be truncated or hostile: every read is checked
// against the view and copies the bytes out, so offsets need no alignment either.
class PeFileView {
 public:
  PeFileView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Contains(uint64_t offset, uint64_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }

  template <typename T>
  bool Read(uint64_t offset, T* out) const {
    if (!Contains(offset, sizeof(T)))
      return false;
    memcpy(out, data_ + offset, sizeof(T));
    return true;
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

  // Finds the NT headers: false unless the DOS and PE signatures and a whole optional
  // header of a known kind lie inside the view.
  bool ParseHeaders() {
    IMAGE_DOS_HEADER dos;
    if (!Read(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
      return false;
    const uint64_t nt_offset = static_cast<uint32_t>(dos.e_lfanew);
    uint32_t signature = 0;
    if (!Read(nt_offset, &signature) || signature != IMAGE_NT_SIGNATURE)
      return false;
    if (!Read(nt_offset + sizeof(uint32_t), &file_header_))
      return false;
    const uint64_t optional_offset = nt_offset + sizeof(uint32_t) + sizeof(IMAGE_FILE_HEADER);
    uint16_t magic = 0;
    if (!Read(optional_offset, &magic))
      return false;
    size_t directories_offset = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      if (!ReadOptionalHeader<IMAGE_OPTIONAL_HEADER64>(optional_offset, &directories_offset))
        return false;
    } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
      if (!ReadOptionalHeader<IMAGE_OPTIONAL_HEADER32>(optional_offset, &directories_offset))
        return false;
    } else {
      return false;
    }
    // Directories beyond the declared optional header are not part of the image.
    const size_t declared = file_header_.SizeOfOptionalHeader > directories_offset
                                ? (file_header_.SizeOfOptionalHeader - directories_offset) /
                                      sizeof(IMAGE_DATA_DIRECTORY)
                                : 0;
    if (directory_count_ > declared)
      directory_count_ = static_cast<uint32_t>(declared);
    sections_offset_ = optional_offset + file_header_.SizeOfOptionalHeader;
    return true;
  }

  uint32_t timestamp() const { return file_header_.TimeDateStamp; }
  uint64_t code_size() const { return static_cast<uint64_t>(base_of_code_) + size_of_code_; }

  // The data directory |index|, or false when the image has none there.
  bool GetDirectory(uint32_t index, IMAGE_DATA_DIRECTORY* directory) const {
    if (index >= directory_count_ || index >= IMAGE_NUMBEROF_DIRECTORY_ENTRIES)
      return false;
    *directory = directories_[index];
    return directory->VirtualAddress != 0;
  }

  // The file offset of a relative virtual address, through the section table.
  bool RvaToOffset(uint32_t rva, uint64_t* offset) const {
    for (uint32_t i = 0; i < file_header_.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section;
      if (!Read(sections_offset_ + static_cast<uint64_t>(i) * sizeof(section), &section))
        return false;
      if (section.VirtualAddress <= rva &&
          rva < static_cast<uint64_t>(section.VirtualAddress) + section.SizeOfRawData) {
        *offset = static_cast<uint64_t>(section.PointerToRawData) + rva - section.VirtualAddress;
        return true;
      }
    }
    return false;
  }

  // Copies the NUL-terminated text at |offset| into |out| (kMaxNameLength characters at
  // most, ended by NUL); the text ends at the view's end too.
  void CopyText(uint64_t offset, char* out) const {
    size_t length = 0;
    while (length < ModuleInfoImpl::kMaxNameLength && Contains(offset + length, 1) &&
           data_[offset + length] != 0) {
      out[length] = static_cast<char>(data_[offset + length]);
      ++length;
    }
    out[length] = '\0';
  }

 private:
  // The fields of a PE32 or PE32+ optional header that the module needs.
  template <typename OptionalHeader>
  bool ReadOptionalHeader(uint64_t offset, size_t* directories_offset) {
    OptionalHeader optional;
    if (!Read(offset, &optional))
      return false;
    base_of_code_ = optional.BaseOfCode;
    size_of_code_ = optional.SizeOfCode;
    directory_count_ = optional.NumberOfRvaAndSizes;
    memcpy(directories_, optional.DataDirectory, sizeof(directories_));
    *directories_offset = offsetof(OptionalHeader, DataDirectory);
    return true;
  }

  const uint8_t* const data_;
  const size_t size_;
  IMAGE_FILE_HEADER file_header_ = {};
  uint32_t base_of_code_ = 0;
  uint32_t size_of_code_ = 0;
  uint32_t directory_count_ = 0;
  IMAGE_DATA_DIRECTORY directories_[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
  uint64_t sections_offset_ = 0;
};

// Finds the version resource: type 16, id 1, first language. Only id entries count. An
// entry that points to data before the third level ends the search with that data.
bool FindVersionResource(const PeFileView& view,
                         uint64_t root,
                         IMAGE_RESOURCE_DATA_ENTRY* data) {
  const uint16_t wanted_ids[2] = {kVersionResourceType, kVersionResourceId};
  uint64_t directory = root;
  for (int level = 0; level < 3; ++level) {
    IMAGE_RESOURCE_DIRECTORY header;
    if (!view.Read(directory, &header))
      return false;
    const uint64_t first_id = directory + sizeof(header) +
                              static_cast<uint64_t>(header.NumberOfNamedEntries) *
                                  sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
    bool found = false;
    uint32_t target = 0;
    for (uint32_t i = 0; i < header.NumberOfIdEntries && !found; ++i) {
      IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
      if (!view.Read(first_id + static_cast<uint64_t>(i) * sizeof(entry), &entry))
        return false;
      const bool is_directory = (entry.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY) != 0;
      if (level < 2 ? entry.Id == wanted_ids[level] : !is_directory) {
        found = true;
        target = entry.OffsetToData;
      }
    }
    if (!found)
      return false;
    if (!(target & IMAGE_RESOURCE_DATA_IS_DIRECTORY))
      return view.Read(root + target, data);
    directory = root + (target & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY);
  }
  return false;
}

// Looks |key| (upper case) up in version resource bytes read as ASCII text stored in
// UTF-16 (each character may be followed by one zero byte), ignoring the case of the data.
// The value after the key is copied into |out| (128 bytes); no match leaves it unchanged.
void LookUpVersionValue(const uint8_t* data, size_t size, const char* key, char* out) {
  const size_t key_length = strlen(key);
  for (size_t start = 0; start < size; ++start) {
    size_t pos = start;
    size_t matched = 0;
    while (matched < key_length && pos < size &&
           static_cast<char>(data[pos] & ~0x20) == key[matched]) {
      ++pos;
      if (pos < size && data[pos] == 0)
        ++pos;
      ++matched;
    }
    if (matched != key_length || pos >= size || (data[pos] != 0 && data[pos] != ' '))
      continue;
    while (pos < size && data[pos] == 0)
      ++pos;
    size_t length = 0;
    while (length < ModuleInfoImpl::kMaxNameLength && pos < size && data[pos] != 0) {
      out[length++] = static_cast<char>(data[pos++]);
      if (pos < size && data[pos] == 0)
        ++pos;
    }
    out[length] = '\0';
    return;
  }
}

}  // namespace

ModuleInfoImpl::ModuleInfoImpl() = default;

ModuleInfoImpl::~ModuleInfoImpl() = default;

uint64_t ModuleInfoImpl::GetCodeSize() const {
  return code_end_ ? code_end_ - load_address_ : 0;
}

const char* ModuleInfoImpl::LogName() const {
  return name_[0] ? name_ : "<unknown>";
}

void ModuleInfoImpl::Init(const wchar_t* name,
                          HANDLE file,
                          uint64_t load_address,
                          uint32_t size) {
  load_address_ = load_address;
  size_ = size;
  size_t length = 0;
  for (; name && name[length] && length < kMaxNameLength; ++length)
    name_[length] = static_cast<char>(name[length] & 0xFF);
  name_[length] = '\0';

  base::win::ScopedHandle mapping(
      ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.IsValid()) {
    PLOG(ERROR) << "CreateFileMappingFailed for " << LogName();
    return;
  }
  base::win::ScopedMapViewTyped<const uint8_t> view(
      static_cast<const uint8_t*>(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0)));
  if (!view.Get()) {
    PLOG(ERROR) << "MapViewOfFile failed for " << LogName();
    return;
  }
  // The view spans the file as it was when mapped; a file that grows later is not seen.
  MEMORY_BASIC_INFORMATION info = {};
  LARGE_INTEGER file_size = {};
  if (!::GetFileSizeEx(file, &file_size) ||
      ::VirtualQuery(view.Get(), &info, sizeof(info)) != sizeof(info)) {
    PLOG(ERROR) << "Cannot get the size of the file of " << LogName();
    return;
  }
  size_t view_size = static_cast<size_t>(file_size.QuadPart);
  if (view_size > info.RegionSize)
    view_size = info.RegionSize;
  ParseView(view.Get(), view_size);
}

void ModuleInfoImpl::ParseView(const uint8_t* data, size_t size) {
  PeFileView view(data, size);
  if (!view.ParseHeaders()) {
    LOG(ERROR) << "GetNtHeaders failed for " << LogName();
    return;
  }
  code_end_ = load_address_ + view.code_size();
  timestamp_ = view.timestamp();

  IMAGE_DATA_DIRECTORY directory;
  uint64_t offset = 0;
  if (!name_[0]) {
    IMAGE_EXPORT_DIRECTORY exports;
    uint64_t name_offset = 0;
    if (view.GetDirectory(IMAGE_DIRECTORY_ENTRY_EXPORT, &directory) &&
        view.RvaToOffset(directory.VirtualAddress, &offset) && view.Read(offset, &exports) &&
        view.RvaToOffset(exports.Name, &name_offset)) {
      view.CopyText(name_offset, name_);
    } else {
      LOG(INFO) << "Could not find exports directory";
    }
  }

  if (view.GetDirectory(IMAGE_DIRECTORY_ENTRY_RESOURCE, &directory) &&
      view.RvaToOffset(directory.VirtualAddress, &offset)) {
    IMAGE_RESOURCE_DATA_ENTRY entry;
    uint64_t version_offset = 0;
    if (!FindVersionResource(view, offset, &entry)) {
      LOG(INFO) << "Could not find version resource in " << LogName();
    } else if (!view.RvaToOffset(entry.OffsetToData, &version_offset) ||
               !view.Contains(version_offset, 0)) {
      LOG(INFO) << "Could not find version info in " << LogName();
    } else {
      // A resource that claims more bytes than the file holds is read up to its end.
      size_t version_size = view.size() - static_cast<size_t>(version_offset);
      if (entry.Size < version_size)
        version_size = entry.Size;
      const uint8_t* version_data = view.data() + version_offset;
      if (!name_[0])
        LookUpVersionValue(version_data, version_size, "ORIGINALFILENAME", name_);
      LookUpVersionValue(version_data, version_size, "FILEVERSION", version_);
    }
  } else {
    LOG(INFO) << "Could not find resources directory in " << LogName();
  }

  if (!name_[0]) {
    char mapped_name[MAX_PATH] = {};
    if (!::GetMappedFileNameA(::GetCurrentProcess(), const_cast<uint8_t*>(data), mapped_name,
                              MAX_PATH)) {
      PLOG(ERROR) << "GetMappedFileNameA failed";
      return;
    }
    const char* base_name = strrchr(mapped_name, '\\');
    base_name = base_name ? base_name + 1 : mapped_name;
    strncpy(name_, base_name, kMaxNameLength);
    name_[kMaxNameLength] = '\0';
  }
}

}  // namespace crash_reporter
