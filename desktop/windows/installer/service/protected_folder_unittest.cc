#include "desktop/windows/installer/service/protected_folder.h"

#include <windows.h>
#include <sddl.h>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// An unnamed event with the security of |sddl|: Wine keeps the security of kernel objects
// as it was set (it makes up that of files from their Unix modes), so events show the check.
base::win::ScopedHandle EventWithSecurity(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw,
                                                              nullptr)) {
    return base::win::ScopedHandle();
  }
  base::win::ScopedLocalAlloc descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
  return base::win::ScopedHandle(::CreateEventW(&attributes, TRUE, FALSE, nullptr));
}

TEST(ProtectedFolderTest, MakesOnlyNewFolders) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  base::FilePath created;
  ASSERT_TRUE(CreateUniqueProtectedFolder(temp.GetPath(), L"p_", Readers::kAdminsOnly, &created));
  EXPECT_EQ(temp.GetPath(), created.DirName());
  EXPECT_TRUE(base::DirectoryExists(created));
  // Made by someone else first: never taken as ours.
  EXPECT_FALSE(CreateProtectedFolder(created, Readers::kAdminsOnly));
  EXPECT_TRUE(CreateProtectedFolder(temp.GetPath().Append(L"r"), Readers::kUsersReadAndExecute));
  EXPECT_FALSE(SystemTempFolder().empty());
}

TEST(ProtectedFolderTest, OnlyObjectsThatOnlyAdministratorsCanChangeCountAsProtected) {
  // What CreateProtectedFolder asks for, owner and all, and the same with a plain owner that
  // "owner rights" leave reading only.
  EXPECT_TRUE(OnlyTrustedCanChange(
      EventWithSecurity(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;S-1-3-4)").Get(),
      SE_KERNEL_OBJECT, nullptr));
  EXPECT_TRUE(OnlyTrustedCanChange(
      EventWithSecurity(L"O:BUD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;S-1-3-4)(A;;GR;;;BU)")
          .Get(),
      SE_KERNEL_OBJECT, nullptr));

  // Users who may change it, an owner who may rewrite the list, everyone.
  EXPECT_FALSE(OnlyTrustedCanChange(
      EventWithSecurity(L"O:BAD:P(A;;FA;;;BA)(A;;0x1301bf;;;AU)").Get(), SE_KERNEL_OBJECT,
      nullptr));
  EXPECT_FALSE(OnlyTrustedCanChange(EventWithSecurity(L"O:BUD:P(A;;FA;;;BA)").Get(),
                                    SE_KERNEL_OBJECT, nullptr));
  EXPECT_FALSE(OnlyTrustedCanChange(EventWithSecurity(L"O:BAD:P(A;;FA;;;BA)(A;;GA;;;WD)").Get(),
                                    SE_KERNEL_OBJECT, nullptr));
}

}  // namespace
}  // namespace installer
