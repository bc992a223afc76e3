#include "desktop/windows/installer/ui/installer_ui_lock.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <thread>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/ui/install_progress.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerUILockTest, OneWindowPerDownloadFolder) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const base::FilePath lock_path = folder.GetPath().Append(L"installer.lck");

  base::win::ScopedHandle first;
  EXPECT_EQ(::GetCurrentThreadId(), AcquireInstallerUILock(folder.GetPath(), &first));
  ASSERT_TRUE(first.IsValid());
  EXPECT_TRUE(base::PathExists(lock_path));

  // A second installer learns whose window holds the folder, and takes nothing.
  base::win::ScopedHandle second;
  EXPECT_EQ(::GetCurrentThreadId(), AcquireInstallerUILock(folder.GetPath(), &second));
  EXPECT_FALSE(second.IsValid());

  // The lock goes with its window.
  first.Close();
  EXPECT_FALSE(base::PathExists(lock_path));
  EXPECT_EQ(::GetCurrentThreadId(), AcquireInstallerUILock(folder.GetPath(), &second));
  EXPECT_TRUE(second.IsValid());
}

TEST(InstallerUILockTest, UnreadableLockFileHasNoKnownOwner) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const base::FilePath lock_path = folder.GetPath().Append(L"installer.lck");
  // Held by someone who shares nothing: it can be neither taken nor read.
  base::win::ScopedHandle held(::CreateFileW(lock_path.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.IsValid());
  base::win::ScopedHandle lock;
  EXPECT_EQ(0u, AcquireInstallerUILock(folder.GetPath(), &lock));
  EXPECT_FALSE(lock.IsValid());

  // Shorter than a thread id: no owner either.
  held.Close();
  ASSERT_EQ(2, base::WriteFileFromBuffer(lock_path, "12", 2));
  held.Set(::CreateFileW(lock_path.value().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_EQ(0u, AcquireInstallerUILock(folder.GetPath(), &lock));
}

// Another user's process in the session may make the lock's mutex first and hold it: the
// window does not wait for it for ever, it runs without the lock.
TEST(InstallerUILockTest, AMutexMadeByAnotherUserIsNotWaitedFor) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  PSECURITY_DESCRIPTOR raw = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)",
                                                                   SDDL_REVISION_1, &raw, nullptr));
  const base::win::ScopedLocalAlloc descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
  const std::wstring name = L"Local\\" + base::Utf8ToUtf16(ProductInfo::GetProductName()) +
                            L"/Installer/UI_lock";
  const base::win::ScopedHandle planted(::CreateMutexW(&attributes, TRUE, name.c_str()));
  ASSERT_TRUE(planted.IsValid());

  const base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle lock;
  DWORD owner = 1;
  std::thread window([&] {
    owner = AcquireInstallerUILock(folder.GetPath(), &lock);
    ::SetEvent(done.Get());
  });
  const DWORD waited = ::WaitForSingleObject(done.Get(), 30000);
  // A window that waits would go on now.
  ::ReleaseMutex(planted.Get());
  window.join();
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), waited);
  EXPECT_EQ(0u, owner);
  EXPECT_FALSE(lock.IsValid());
}

TEST(InstallProgressTest, PhasesShareTheBarByWeight) {
  EXPECT_EQ(1303, GetTotalProgressWeight());
  EXPECT_EQ(0, GetProgressPosition(PHASE_REQUESTING_URL, 0, 0));
  // Unpacking with 50 of 100 entries done.
  EXPECT_EQ(1 + 1000 + 100, GetProgressPosition(PHASE_UNPACKING, 50, 100));
  // Truncated toward zero.
  EXPECT_EQ(1 + 333, GetProgressPosition(PHASE_DOWNLOADING, 1, 3));
  EXPECT_EQ(1203, GetProgressPosition(PHASE_INSTALLING, 0, 0));
  EXPECT_EQ(1303, GetProgressPosition(PHASE_INSTALLING, 7, 7));
}

}  // namespace
}  // namespace installer
