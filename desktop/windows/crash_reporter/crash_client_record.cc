#include "desktop/windows/crash_reporter/crash_client_record.h"

#include <stdio.h>
#include <wchar.h>

#include "base/logging.h"

namespace crash_reporter {

namespace {

constexpr wchar_t kUptimeKey[] = L"ptime";

uint64_t ToUint64(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

CrashClientRecord::CrashClientRecord(CrashDumpServer* server, const ProtocolMessage& request)
    : server_(server),
      pid_(request.id),
      dump_type_(static_cast<MINIDUMP_TYPE>(request.dump_type)),
      exception_pointers_address_(request.exception_pointers_address),
      assertion_address_(request.assertion_address),
      custom_info_address_(request.custom_info_entries_address),
      custom_info_count_(request.custom_info_count),
      thread_id_address_(request.thread_id_address) {
  ::GetSystemTimeAsFileTime(&start_time_);
}

CrashClientRecord::~CrashClientRecord() = default;

bool CrashClientRecord::Initialize() {
  // What a dump of the client needs, and no more: reading its memory and state, waiting for
  // its end and placing the event handles in it.
  process_.Set(::OpenProcess(
      SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid_));
  if (!process_.IsValid()) {
    PLOG(ERROR) << "Cannot open crash client " << pid_;
    return false;
  }
  FILETIME creation_time, exit_time, kernel_time, user_time;
  if (::GetProcessTimes(process_.Get(), &creation_time, &exit_time, &kernel_time, &user_time))
    start_time_ = creation_time;
  dump_requested_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dump_generated_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!dump_requested_event_.IsValid() || !dump_generated_event_.IsValid()) {
    PLOG(ERROR) << "Cannot create the dump events of crash client " << pid_;
    return false;
  }
  return true;
}

bool CrashClientRecord::PopulateCustomInfo() {
  custom_entries_.reset();
  custom_entry_count_ = 0;
  if (custom_info_count_ > kMaxCustomInfoCount) {
    LOG(ERROR) << "Crash client " << pid_ << " announced " << custom_info_count_
               << " custom entries";
    return false;
  }
  const size_t count = static_cast<size_t>(custom_info_count_);
  // Value-initialised: every entry starts zeroed.
  std::unique_ptr<CustomInfoEntry[]> entries(new CustomInfoEntry[count + 1]());
  if (count > 0) {
    const SIZE_T size = count * sizeof(CustomInfoEntry);
    SIZE_T bytes_read = 0;
    if (!::ReadProcessMemory(process_.Get(), reinterpret_cast<const void*>(custom_info_address_),
                             entries.get(), size, &bytes_read) ||
        bytes_read != size) {
      PLOG(ERROR) << "Cannot read the custom entries of crash client " << pid_;
      return false;
    }
  }
  // The client's texts end where the entry does, whatever it wrote there. Its uptime is
  // the one measured here: a "ptime" of its own loses its name, so no look-up finds it.
  for (size_t i = 0; i < count; ++i) {
    entries[i].name[CustomInfoEntry::kNameLength - 1] = L'\0';
    entries[i].value[CustomInfoEntry::kValueLength - 1] = L'\0';
    if (wcscmp(entries[i].name, kUptimeKey) == 0)
      entries[i].name[0] = L'\0';
  }
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t start = ToUint64(start_time_);
  const uint64_t current = ToUint64(now);
  const unsigned long long milliseconds = current > start ? (current - start) / 10000 : 0;
  CustomInfoEntry& ptime = entries[count];
  CopyTextTruncated(kUptimeKey, ptime.name, CustomInfoEntry::kNameLength);
  _snwprintf(ptime.value, CustomInfoEntry::kValueLength, L"%llu", milliseconds);
  ptime.value[CustomInfoEntry::kValueLength - 1] = L'\0';

  custom_entries_ = std::move(entries);
  custom_entry_count_ = count + 1;
  return true;
}

CustomClientInfo CrashClientRecord::GetCustomInfo() const {
  CustomClientInfo info;
  if (custom_entries_) {
    info.entries = custom_entries_.get();
    info.count = custom_entry_count_;
  }
  return info;
}

}  // namespace crash_reporter
