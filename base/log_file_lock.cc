#include "base/log_file_lock.h"

#include <utility>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"

namespace logging {

namespace {

// A writer that finds the lock held yields this many times before it starts sleeping.
constexpr int kYields = 64;
// While it waits, it looks this often whether the holder still exists.
constexpr DWORD kHolderCheckMs = 20;

// Whether the process |id| has ended (or no process has that id any more). A process that
// cannot be opened for another reason exists.
bool HasEnded(DWORD id) {
  base::win::ScopedHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
  if (!process.IsValid())
    return ::GetLastError() == ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

}  // namespace

// static
std::unique_ptr<LogFileLock> LogFileLock::Create(const std::wstring& log_file) {
  base::FilePath full_path;
  if (!base::MakeAbsoluteFilePath(base::FilePath(log_file), &full_path))
    full_path = base::FilePath(log_file);
  // Lower-cased so that spellings of one path agree, with backslashes (not allowed in object
  // names) turned into '!'. In the session's namespace, where the processes of an
  // installation run, elevated or not (a section of the global one needs a privilege to be
  // made).
  std::wstring name;
  base::ReplaceChars(base::ToLowerAscii(full_path.value()), L"\\/", L"!", &name);
  base::win::ScopedHandle section(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                                       PAGE_READWRITE, 0, sizeof(LONG),
                                                       (L"Local\\" + name + L"!writer").c_str()));
  if (!section.IsValid())
    return nullptr;
  // A new section is zero-filled: nobody holds the lock.
  base::win::ScopedMapViewTyped<void> view(
      ::MapViewOfFile(section.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (!view.IsValid())
    return nullptr;
  return std::unique_ptr<LogFileLock>(new LogFileLock(std::move(section), std::move(view)));
}

LogFileLock::LogFileLock(base::win::ScopedHandle section,
                         base::win::ScopedMapViewTyped<void> view)
    : section_(std::move(section)),
      view_(std::move(view)),
      process_id_(static_cast<LONG>(::GetCurrentProcessId())) {}

LogFileLock::~LogFileLock() = default;

bool LogFileLock::Acquire() {
  // Waiting neither logs (the caller is logging) nor asks the system for more than the
  // holder's state: under Wine a sleep, unlike a wait for an object, costs its server nothing.
  const DWORD start = ::GetTickCount();
  DWORD next_check = start + kHolderCheckMs;
  for (int attempt = 0;; ++attempt) {
    const LONG owner = ::InterlockedCompareExchange(holder(), process_id_, 0);
    if (owner == 0) {
      stalled_holder_ = 0;
      return true;
    }
    const bool stalled = owner == stalled_holder_;
    const DWORD now = ::GetTickCount();
    if (stalled || static_cast<LONG>(now - next_check) >= 0) {
      // A holder that ended while it held the lock never gives it back.
      if (HasEnded(static_cast<DWORD>(owner)) &&
          ::InterlockedCompareExchange(holder(), process_id_, owner) == owner) {
        stalled_holder_ = 0;
        return true;
      }
      if (stalled)
        return false;
      if (now - start >= kMaxWaitMs) {
        stalled_holder_ = owner;
        return false;
      }
      next_check = now + kHolderCheckMs;
    }
    if (attempt < kYields)
      ::SwitchToThread();
    else
      ::Sleep(1);
  }
}

void LogFileLock::Release() {
  ::InterlockedCompareExchange(holder(), 0, process_id_);
}

volatile LONG* LogFileLock::holder() const {
  return static_cast<volatile LONG*>(view_.Get());
}

}  // namespace logging
