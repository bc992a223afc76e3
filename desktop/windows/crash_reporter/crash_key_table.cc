#include "desktop/windows/crash_reporter/crash_key_table.h"

#include <windows.h>

#include <string>

#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace crash_reporter {

namespace {

constexpr size_t kBlockSize = sizeof(CrashKeyEntry) * CRASH_KEY_COUNT;
static_assert(kBlockSize == 24832, "the crash key block is 24,832 bytes");

// The longest value one slot holds.
constexpr size_t kMaxValueLength = CrashKeyEntry::kValueLength - 1;

struct SlotName {
  int first;
  int last;
  const wchar_t* name;
};

constexpr SlotName kSlotNames[] = {
    {CRASH_KEY_VERSION, CRASH_KEY_VERSION, L"Version"},
    {CRASH_KEY_BUILD_NUMBER, CRASH_KEY_BUILD_NUMBER, L"build_number"},
    {CRASH_KEY_BUILD_ID, CRASH_KEY_BUILD_ID, L"BuildID"},
    {CRASH_KEY_PROCESS_TYPE, CRASH_KEY_PROCESS_TYPE, L"process_type"},
    {CRASH_KEY_CRASH_GUID, CRASH_KEY_CRASH_GUID, L"crash_guid"},
    {CRASH_KEY_URL_FIRST, CRASH_KEY_URL_LAST, L"URL"},
    {CRASH_KEY_GPU_VENDOR_ID, CRASH_KEY_GPU_VENDOR_ID, L"gpu_vendor_id"},
    {CRASH_KEY_GPU_DEVICE_ID, CRASH_KEY_GPU_DEVICE_ID, L"gpu_device_id"},
    {CRASH_KEY_GPU_DRIVER_VERSION, CRASH_KEY_GPU_DRIVER_VERSION, L"gpu_driver_version"},
    {CRASH_KEY_GPU_PIXEL_SHADER_VERSION, CRASH_KEY_GPU_PIXEL_SHADER_VERSION,
     L"gpu_pixel_shader_version"},
    {CRASH_KEY_GPU_VERTEX_SHADER_VERSION, CRASH_KEY_GPU_VERTEX_SHADER_VERSION,
     L"gpu_vertex_shader_version"},
    {CRASH_KEY_IS_WOW64, CRASH_KEY_IS_WOW64, L"is_wow64"},
    {CRASH_KEY_EXCEPTION_POLICY, CRASH_KEY_EXCEPTION_POLICY, L"exception_policy"},
    {CRASH_KEY_BRIXEL_TEST_FIRST, CRASH_KEY_BRIXEL_TEST_LAST, L"brixel_test"},
    {CRASH_KEY_ORIGIN, CRASH_KEY_ORIGIN, L"origin"},
    {CRASH_KEY_ENABLED_EXTENSIONS_FIRST, CRASH_KEY_ENABLED_EXTENSIONS_LAST, L"enabled_extensions"},
    {CRASH_KEY_DISABLED_EXTENSIONS_FIRST, CRASH_KEY_DISABLED_EXTENSIONS_LAST,
     L"disabled_extensions"},
    {CRASH_KEY_BLACKLISTED_EXTENSIONS_FIRST, CRASH_KEY_BLACKLISTED_EXTENSIONS_LAST,
     L"blacklisted_extensions"},
    {CRASH_KEY_TERMINATED_EXTENSIONS_FIRST, CRASH_KEY_TERMINATED_EXTENSIONS_LAST,
     L"terminated_extensions"},
    {CRASH_KEY_THIRD_PARTY_INSTALLS_FIRST, CRASH_KEY_THIRD_PARTY_INSTALLS_LAST,
     L"third_party_installs"},
    {CRASH_KEY_MODULES_FIRST, CRASH_KEY_MODULES_LAST, L"modules"},
    {CRASH_KEY_AB_TESTS_FIRST, CRASH_KEY_AB_TESTS_LAST, L"ab_tests"},
};

bool IsValidRange(int first, int last) {
  return first >= 0 && first <= last && last < CRASH_KEY_COUNT;
}

// "1" or "0"; empty when the system cannot tell.
std::wstring GetIsWow64Text() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto is_wow64_process = reinterpret_cast<IsWow64ProcessFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process"));
  BOOL is_wow64 = FALSE;
  if (!is_wow64_process || !is_wow64_process(::GetCurrentProcess(), &is_wow64))
    return std::wstring();
  return is_wow64 ? L"1" : L"0";
}

// The user-mode exception policy flags as "0x%04x"; empty when the system has no policy.
std::wstring GetExceptionPolicyText() {
  using GetPolicyFunction = BOOL(WINAPI*)(LPDWORD);
  const auto get_policy = reinterpret_cast<GetPolicyFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetProcessUserModeExceptionPolicy"));
  DWORD flags = 0;
  if (!get_policy || !get_policy(&flags))
    return std::wstring();
  return base::WideStringPrintf(L"0x%04x", static_cast<unsigned>(flags));
}

base::LazyInstance<CrashKeyTable>::Leaky g_crash_key_table;

}  // namespace

// static
CrashKeyTable& CrashKeyTable::GetInstance() {
  return g_crash_key_table.Get();
}

CrashKeyTable::CrashKeyTable() {
  void* block = ::VirtualAlloc(nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!block) {
    PLOG(WARNING) << "Cannot allocate the crash key block";
    return;
  }
  // Fresh pages are zero: every value starts empty.
  entries_ = static_cast<CrashKeyEntry*>(block);
  for (const SlotName& slot_name : kSlotNames) {
    for (int slot = slot_name.first; slot <= slot_name.last; ++slot)
      CopyTextTruncated(slot_name.name, entries_[slot].name, CrashKeyEntry::kNameLength);
  }
  const std::wstring version = base::Utf8ToUtf16(installer::ProductInfo::GetVersion());
  CopyTextTruncated(version.c_str(), entries_[CRASH_KEY_VERSION].value, kMaxValueLength + 1);
  const std::wstring build_number =
      base::WideStringPrintf(L"%d", installer::ProductInfo::GetBuildNumber());
  CopyTextTruncated(build_number.c_str(), entries_[CRASH_KEY_BUILD_NUMBER].value,
                    kMaxValueLength + 1);
  CopyTextTruncated(GetBuildId().c_str(), entries_[CRASH_KEY_BUILD_ID].value, kMaxValueLength + 1);
  CopyTextTruncated(GetIsWow64Text().c_str(), entries_[CRASH_KEY_IS_WOW64].value,
                    kMaxValueLength + 1);
  CopyTextTruncated(GetExceptionPolicyText().c_str(), entries_[CRASH_KEY_EXCEPTION_POLICY].value,
                    kMaxValueLength + 1);
  DWORD old_protection = 0;
  if (!::VirtualProtect(entries_, kBlockSize, PAGE_READONLY, &old_protection))
    PLOG(WARNING) << "Cannot protect the crash key block";
}

CrashKeyTable::~CrashKeyTable() {
  if (entries_ && !::VirtualFree(entries_, 0, MEM_RELEASE))
    PLOG(ERROR) << "Cannot free the crash key block";
}

template <typename Write>
bool CrashKeyTable::WriteBlock(Write write) {
  if (!entries_)
    return false;
  base::AutoLock hold(lock_);
  DWORD old_protection = 0;
  if (!::VirtualProtect(entries_, kBlockSize, PAGE_READWRITE, &old_protection)) {
    PLOG(WARNING) << "Cannot make the crash key block writable";
    return false;
  }
  write();
  if (!::VirtualProtect(entries_, kBlockSize, PAGE_READONLY, &old_protection))
    PLOG(WARNING) << "Cannot protect the crash key block";
  return true;
}

void CrashKeyTable::SetCrashKey(int slot, const wchar_t* value) {
  if (!IsValidRange(slot, slot))
    return;
  WriteBlock([&] { CopyTextTruncated(value, entries_[slot].value, kMaxValueLength + 1); });
}

void CrashKeyTable::SetCrashKeyRange(int first, int last, std::wstring_view text) {
  if (!IsValidRange(first, last))
    return;
  WriteBlock([&] {
    for (int slot = first; slot <= last; ++slot) {
      const std::wstring_view piece = text.substr(0, kMaxValueLength);
      text.remove_prefix(piece.size());
      wchar_t* value = entries_[slot].value;
      piece.copy(value, piece.size());
      value[piece.size()] = L'\0';
    }
  });
}

CrashKeyTableInfo CrashKeyTable::GetInfo() const {
  CrashKeyTableInfo info;
  if (entries_) {
    info.entries = entries_;
    info.count = CRASH_KEY_COUNT;
  }
  return info;
}

}  // namespace crash_reporter
