#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "desktop/windows/crash_reporter/module_info.h"

namespace crash_reporter {

// A module of an inspected process, described by the module snapshot and by its own file:
// code range and time stamp from the PE headers, the file version (and, when the snapshot
// had no name, a name) from its export directory and version resource.
//
// The file is untrusted: every header, table and text is checked against the bounds of
// the mapped file, so a corrupted or hostile image yields a module with less information,
// never a read outside the view. Failures are logged.
class ModuleInfoImpl : public ModuleInfo {
 public:
  static constexpr size_t kMaxNameLength = 127;

  ModuleInfoImpl();
  ModuleInfoImpl(const ModuleInfoImpl&) = delete;
  ModuleInfoImpl& operator=(const ModuleInfoImpl&) = delete;
  ~ModuleInfoImpl() override;

  // |name| may be empty; |file| (not owned) is the module file opened for reading, or
  // invalid, in which case only the name, address and size are kept.
  void Init(const wchar_t* name, HANDLE file, uint64_t load_address, uint32_t size);

  const char* GetName() const override { return name_; }
  uint64_t GetBaseAddress() const override { return load_address_; }
  uint32_t GetSize() const override { return size_; }
  uint64_t GetCodeBase() const override { return load_address_; }
  uint64_t GetCodeSize() const override;
  const char* GetVersion() const override { return version_; }
  uint32_t GetTimestamp() const override { return timestamp_; }

 private:
  // Reads the headers, exports and version resource of a mapped module file.
  void ParseView(const uint8_t* view, size_t view_size);
  // The name for log lines.
  const char* LogName() const;

  char name_[kMaxNameLength + 1] = {};
  char version_[kMaxNameLength + 1] = {};
  uint32_t timestamp_ = 0;
  uint64_t load_address_ = 0;
  uint32_t size_ = 0;
  uint64_t code_end_ = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_
