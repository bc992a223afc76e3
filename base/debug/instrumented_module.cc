#include "base/debug/instrumented_module.h"

#include <windows.h>
#include <string.h>

#include <atomic>

#include "base/logging.h"

namespace base {
namespace debug {

namespace {

constexpr char kThunksSection[IMAGE_SIZEOF_SHORT_NAME] = {'.', 't', 'h', 'u', 'n', 'k', 's'};
constexpr char kMarkerSection[IMAGE_SIZEOF_SHORT_NAME] = {'.', 'i', 'n', 's', 't', 'r', 'u', 'm'};

enum InstrumentedState : int { kUnknown = 0, kInstrumented = 1, kNotInstrumented = 2 };

std::atomic<int> g_state{kUnknown};

bool HasInstrumentationSections() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&HasInstrumentationSections), &module)) {
    PLOG(ERROR) << "GetModuleHandleEx failed for this module";
    return false;
  }
  const char* image = reinterpret_cast<const char*>(module);
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  bool has_thunks = false;
  bool has_marker = false;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    const char* name = reinterpret_cast<const char*>(sections[i].Name);
    has_thunks |= memcmp(name, kThunksSection, IMAGE_SIZEOF_SHORT_NAME) == 0;
    has_marker |= memcmp(name, kMarkerSection, IMAGE_SIZEOF_SHORT_NAME) == 0;
  }
  return has_thunks && has_marker;
}

}  // namespace

bool IsModuleInstrumented() {
  int state = g_state.load(std::memory_order_acquire);
  if (state == kUnknown) {
    // Racing threads compute the same answer.
    state = HasInstrumentationSections() ? kInstrumented : kNotInstrumented;
    g_state.store(state, std::memory_order_release);
  }
  return state == kInstrumented;
}

}  // namespace debug
}  // namespace base
