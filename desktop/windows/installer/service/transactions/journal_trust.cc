#include "desktop/windows/installer/service/transactions/journal_trust.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/user_rights.h"

namespace installer {

namespace {

bool SidToText(PSID sid, std::wstring* text) {
  wchar_t* raw = nullptr;
  if (!sid || !::ConvertSidToStringSidW(sid, &raw)) {
    PLOG(ERROR) << "Cannot write a SID as text";
    return false;
  }
  base::win::ScopedLocalAlloc owned(raw);
  *text = raw;
  return true;
}

}  // namespace

bool JournalReader::Init() {
  std::vector<BYTE> buffer;
  PSID sid = GetProcessUserSid(::GetCurrentProcess(), &buffer);
  return sid && Set(sid, IsProcessElevated());
}

bool JournalReader::InitForTesting(PSID sid, bool elevated) {
  return Set(sid, elevated);
}

bool JournalReader::Set(PSID sid, bool elevated) {
  elevated_ = elevated;
  if (!sid || !::IsValidSid(sid) || !SidToText(sid, &user_text_))
    return false;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  user_.assign(bytes, bytes + ::GetLengthSid(sid));
  return true;
}

JournalTrust CheckJournalTrust(HANDLE journal,
                               SE_OBJECT_TYPE journal_type,
                               HANDLE folder,
                               SE_OBJECT_TYPE folder_type,
                               const JournalReader& reader) {
  JournalTrust trust;
  if (!reader.user())
    return trust;
  if (!OnlyTrustedCanChange(journal, journal_type, reader.user())) {
    LOG(WARNING) << "Not replaying an undo journal that others could have written";
    return trust;
  }
  if (reader.elevated() && !OnlyTrustedCanChange(folder, folder_type, reader.user())) {
    LOG(WARNING) << "Not replaying an undo journal, elevated, in a folder that others can "
                    "change";
    return trust;
  }
  trust.may_replay = true;
  trust.owned_by_reader = reader.user() && IsOwnedBy(journal, journal_type, reader.user());
  return trust;
}

base::win::ScopedLocalAlloc MakeJournalSecurity(const JournalReader& writer) {
  const std::wstring& user = writer.user_text();
  if (user.empty())
    return base::win::ScopedLocalAlloc();
  const std::wstring sddl = writer.elevated()
                                ? std::wstring(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)")
                                : L"O:" + user + L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" +
                                      user + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    PLOG(ERROR) << "Cannot make the security of an undo journal";
    return base::win::ScopedLocalAlloc();
  }
  return base::win::ScopedLocalAlloc(descriptor);
}

std::wstring CurrentUserSidText() {
  std::vector<BYTE> buffer;
  std::wstring text;
  PSID sid = GetProcessUserSid(::GetCurrentProcess(), &buffer);
  if (!sid || !SidToText(sid, &text))
    return std::wstring();
  return text;
}

}  // namespace installer
