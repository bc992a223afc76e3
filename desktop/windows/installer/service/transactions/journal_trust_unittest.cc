#include "desktop/windows/installer/service/transactions/journal_trust.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Kernel objects stand in for the journal and its folder: Wine keeps their security as it
// was set (it makes up that of files from their Unix modes).
base::win::ScopedHandle EventWithSecurity(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  return base::win::ScopedHandle(::CreateEventW(&attributes, TRUE, FALSE, nullptr));
}

base::win::ScopedHandle EventWithSddl(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &raw, nullptr)) {
    return base::win::ScopedHandle();
  }
  base::win::ScopedLocalAlloc descriptor(raw);
  return EventWithSecurity(raw);
}

// The bytes of the SID written as |text|.
std::vector<BYTE> SidBytes(const wchar_t* text) {
  PSID raw = nullptr;
  if (!::ConvertStringSidToSidW(text, &raw))
    return std::vector<BYTE>();
  base::win::ScopedLocalAlloc owned(raw);
  const BYTE* bytes = static_cast<const BYTE*>(raw);
  return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(raw));
}

class JournalTrustTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(reader_.Init());
    user_ = reader_.user_text();
    ASSERT_FALSE(user_.empty());
    ASSERT_TRUE(user_reader_.InitForTesting(reader_.user(), false));
    ASSERT_TRUE(elevated_reader_.InitForTesting(reader_.user(), true));
  }

  JournalTrust Check(const std::wstring& journal_sddl,
                     const std::wstring& folder_sddl,
                     const JournalReader& reader) {
    const base::win::ScopedHandle journal = EventWithSddl(journal_sddl);
    const base::win::ScopedHandle folder = EventWithSddl(folder_sddl);
    EXPECT_TRUE(journal.IsValid() && folder.IsValid());
    return CheckJournalTrust(journal.Get(), SE_KERNEL_OBJECT, folder.Get(), SE_KERNEL_OBJECT,
                             reader);
  }

  JournalReader reader_;
  JournalReader user_reader_;
  JournalReader elevated_reader_;
  std::wstring user_;
};

TEST_F(JournalTrustTest, AJournalIsReplayedOnlyWhenNobodyElseCouldHaveWrittenIt) {
  // What a new journal gets: the writer's own, which it replays.
  const base::win::ScopedLocalAlloc made = MakeJournalSecurity(user_reader_);
  ASSERT_TRUE(made.IsValid());
  const base::win::ScopedHandle journal = EventWithSecurity(made.Get());
  const base::win::ScopedHandle folder = EventWithSddl(L"O:" + user_ + L"D:P(A;;FA;;;" + user_ +
                                                       L")(A;;0x1301bf;;;AU)");
  ASSERT_TRUE(journal.IsValid() && folder.IsValid());
  JournalTrust trust =
      CheckJournalTrust(journal.Get(), SE_KERNEL_OBJECT, folder.Get(), SE_KERNEL_OBJECT,
                        user_reader_);
  EXPECT_TRUE(trust.may_replay);
  EXPECT_TRUE(trust.owned_by_reader);

  const std::wstring open_folder = L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;AU)";
  // Another user's journal, one that everyone may change, one whose owner is another user
  // who may rewrite its list.
  EXPECT_FALSE(Check(L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)(A;;FA;;;S-1-5-21-1-2-3-1001)",
                     open_folder, user_reader_)
                   .may_replay);
  EXPECT_FALSE(Check(L"O:" + user_ + L"D:(A;;FA;;;" + user_ + L")(A;;0x1301bf;;;AU)",
                     open_folder, user_reader_)
                   .may_replay);
  EXPECT_FALSE(Check(L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;" + user_ + L")", open_folder,
                     user_reader_)
                   .may_replay);

  // Written by Administrators: replayed, but its records of a user's hive name their user.
  trust = Check(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)", open_folder, user_reader_);
  EXPECT_TRUE(trust.may_replay);
  EXPECT_FALSE(trust.owned_by_reader);
}

TEST_F(JournalTrustTest, AnElevatedProcessReplaysOnlyInAFolderThatOnlyAdministratorsChange) {
  const std::wstring journal = L"O:" + user_ + L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user_ +
                               L")";
  // A folder outside the program folders inherits "Authenticated Users: Modify".
  const std::wstring open_folder = L"O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;AU)";
  EXPECT_FALSE(Check(journal, open_folder, elevated_reader_).may_replay);
  EXPECT_TRUE(Check(journal, open_folder, user_reader_).may_replay);
  // A folder below the system's program folders, which their owning service may change too.
  EXPECT_TRUE(Check(journal,
                    L"O:BAD:(A;ID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-"
                    L"2271478464)(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)",
                    elevated_reader_)
                  .may_replay);
  // An elevated writer's journal is the administrators': any elevated process takes it up.
  const base::win::ScopedLocalAlloc made = MakeJournalSecurity(elevated_reader_);
  ASSERT_TRUE(made.IsValid());
  const base::win::ScopedHandle administrators = EventWithSecurity(made.Get());
  const base::win::ScopedHandle folder = EventWithSddl(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)");
  JournalReader other_administrator;
  ASSERT_TRUE(other_administrator.InitForTesting(
      SidBytes(L"S-1-5-21-1-2-3-1002").data(), true));
  EXPECT_TRUE(CheckJournalTrust(administrators.Get(), SE_KERNEL_OBJECT, folder.Get(),
                                SE_KERNEL_OBJECT, other_administrator)
                  .may_replay);
  // The protected install folder of all users.
  EXPECT_TRUE(Check(journal,
                    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;S-1-3-4)"
                    L"(A;OICI;0x1200a9;;;BU)",
                    elevated_reader_)
                  .may_replay);
}

}  // namespace
}  // namespace installer
