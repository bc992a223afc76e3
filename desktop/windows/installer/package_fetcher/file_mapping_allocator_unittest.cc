#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <atomic>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/package_fetcher/in_page_error_handler.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr size_t kBlockSize = 1 << 20;
constexpr uint32_t kDeviceDataError = 0xC000009C;

int CountFiles(const base::FilePath& folder) {
  int count = 0;
  base::FileEnumerator files(folder, false, base::FileEnumerator::FILES);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next())
    ++count;
  return count;
}

// What Windows raises when a page of a mapped view cannot be read in.
void RaiseInPageError(const void* address) {
  const ULONG_PTR arguments[3] = {0, reinterpret_cast<ULONG_PTR>(address), kDeviceDataError};
  ::RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, arguments);
}

// Takes the in-page errors that nobody else took (raised ones may simply continue), and
// counts them.
class PassedOnCounter {
 public:
  PassedOnCounter() : registration_(::AddVectoredExceptionHandler(0, &Handle)) { count_ = 0; }
  ~PassedOnCounter() { ::RemoveVectoredExceptionHandler(registration_); }
  int count() const { return count_; }

 private:
  static LONG CALLBACK Handle(EXCEPTION_POINTERS* pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)
      return EXCEPTION_CONTINUE_SEARCH;
    ++count_;
    return EXCEPTION_CONTINUE_EXECUTION;
  }

  static std::atomic<int> count_;
  PVOID registration_;
};
std::atomic<int> PassedOnCounter::count_{0};

class FileMappingAllocatorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }
  base::ScopedTempDir temp_dir_;
  base::test::ScopedLogCapture log_;
};

TEST_F(FileMappingAllocatorTest, OneBlockAtATimeLivesInADeleteOnCloseFile) {
  {
    FileMappingAllocator allocator(temp_dir_.GetPath());
    ISzAllocPtr functions = allocator.sz_alloc();
    EXPECT_EQ(nullptr, ISzAlloc_Alloc(functions, 0));
    auto* block = static_cast<uint8_t*>(ISzAlloc_Alloc(functions, kBlockSize));
    ASSERT_TRUE(block);
    EXPECT_TRUE(allocator.IsInMappedView(block));
    EXPECT_TRUE(allocator.IsInMappedView(block + kBlockSize - 1));
    EXPECT_FALSE(allocator.IsInMappedView(block + kBlockSize));
    memset(block, 0x5A, kBlockSize);
    EXPECT_EQ(1, CountFiles(temp_dir_.GetPath()));

    // While the view is in use, the heap serves.
    auto* second = static_cast<uint8_t*>(ISzAlloc_Alloc(functions, 64));
    ASSERT_TRUE(second);
    EXPECT_FALSE(allocator.IsInMappedView(second));
    ISzAlloc_Free(functions, second);
    ISzAlloc_Free(functions, block);
    EXPECT_FALSE(allocator.IsInMappedView(block));

    // The next block is file-backed again.
    block = static_cast<uint8_t*>(ISzAlloc_Alloc(functions, 2 * kBlockSize));
    ASSERT_TRUE(block);
    EXPECT_TRUE(allocator.IsInMappedView(block + kBlockSize));
    ISzAlloc_Free(functions, block);
    ISzAlloc_Free(functions, nullptr);
  }
  EXPECT_EQ(0, CountFiles(temp_dir_.GetPath()));

  // Without a folder for the file, blocks come from the heap.
  FileMappingAllocator heap_only(temp_dir_.GetPath().Append(L"missing"));
  void* block = heap_only.Allocate(kBlockSize);
  ASSERT_TRUE(block);
  EXPECT_FALSE(heap_only.IsInMappedView(block));
  memset(block, 1, kBlockSize);
  heap_only.Free(block);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "Cannot create a temporary file in "));
}

TEST_F(FileMappingAllocatorTest, InPageErrorInTheViewLeavesZeroPagesAndTheStatus) {
  FileMappingAllocator allocator(temp_dir_.GetPath());
  auto* block = static_cast<volatile uint8_t*>(allocator.Allocate(4 * kBlockSize));
  ASSERT_TRUE(block);
  block[5000] = 7;
  block[3 * kBlockSize] = 9;
  {
    ScopedInPageErrorHandler handler(&allocator);
    RaiseInPageError(const_cast<uint8_t*>(block) + 5000);
    EXPECT_TRUE(allocator.view_failed());
    EXPECT_EQ(kDeviceDataError, allocator.fault_status());
    EXPECT_FALSE(allocator.IsInMappedView(const_cast<uint8_t*>(block) + 5000));
    // Both the faulting page and every other page of the range now read as zero and take
    // writes; the first fault's status stays.
    EXPECT_EQ(0, block[5000]);
    EXPECT_EQ(0, block[3 * kBlockSize]);
    block[3 * kBlockSize + 1] = 3;
    EXPECT_EQ(3, block[3 * kBlockSize + 1]);
    EXPECT_EQ(kDeviceDataError, allocator.fault_status());
  }
  allocator.Free(const_cast<uint8_t*>(block));

  // A real fault: the pages of the view taken away underneath.
  FileMappingAllocator second(temp_dir_.GetPath());
  block = static_cast<volatile uint8_t*>(second.Allocate(kBlockSize));
  ASSERT_TRUE(block);
  DWORD old_protection;
  ASSERT_TRUE(
      ::VirtualProtect(const_cast<uint8_t*>(block), kBlockSize, PAGE_NOACCESS, &old_protection));
  {
    ScopedInPageErrorHandler handler(&second);
    block[123] = 42;
    EXPECT_EQ(42, block[123]);
  }
  EXPECT_TRUE(second.view_failed());
  EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), second.fault_status());
  second.Free(const_cast<uint8_t*>(block));
}

struct RaiseOnThread {
  static DWORD WINAPI Run(void* address) {
    RaiseInPageError(address);
    return 0;
  }
};

TEST_F(FileMappingAllocatorTest, FaultsElsewhereOrOnOtherThreadsArePassedOn) {
  FileMappingAllocator allocator(temp_dir_.GetPath());
  auto* block = static_cast<uint8_t*>(allocator.Allocate(kBlockSize));
  ASSERT_TRUE(block);
  PassedOnCounter passed_on;
  {
    ScopedInPageErrorHandler handler(&allocator);
    uint8_t elsewhere = 0;
    RaiseInPageError(&elsewhere);
    EXPECT_EQ(1, passed_on.count());

    base::win::ScopedHandle thread(
        ::CreateThread(nullptr, 0, &RaiseOnThread::Run, block + 10, 0, nullptr));
    ASSERT_TRUE(thread.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 10000));
    EXPECT_EQ(2, passed_on.count());
  }
  RaiseInPageError(block + 10);
  EXPECT_EQ(3, passed_on.count());
  EXPECT_FALSE(allocator.view_failed());
  EXPECT_TRUE(allocator.IsInMappedView(block));
  allocator.Free(block);
}

}  // namespace
}  // namespace installer
