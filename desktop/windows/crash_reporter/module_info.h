#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_

#include <stdint.h>

namespace crash_reporter {

// One module loaded in an inspected process, owned by its ProcessState. Read-only.
class ModuleInfo {
 public:
  virtual ~ModuleInfo() = default;

  // At most 127 characters; narrow (the low byte of each UTF-16 unit).
  virtual const char* GetName() const = 0;
  virtual uint64_t GetBaseAddress() const = 0;
  // The size the module snapshot reported.
  virtual uint32_t GetSize() const = 0;
  // The code range: GetCodeSize() bytes from GetCodeBase() (the load address). A code size
  // of 0 means no code range is known.
  virtual uint64_t GetCodeBase() const = 0;
  virtual uint64_t GetCodeSize() const = 0;
  // The file version text of the module's version resource; empty when none was found.
  virtual const char* GetVersion() const = 0;
  // The image's link time stamp.
  virtual uint32_t GetTimestamp() const = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_
