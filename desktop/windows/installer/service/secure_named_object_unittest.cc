#include "desktop/windows/installer/service/secure_named_object.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <regex>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/installer/service/object_security.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Under Wine every user is an administrator and all processes run as one user: what shows
// the mechanism is the security the objects get, and objects planted with another owner or
// an open access list (Wine keeps kernel objects' security as set).

std::wstring UniqueName(const wchar_t* what) {
  return L"Local\\TavroTest/" + std::wstring(what) + L"/" +
         std::to_wstring(::GetCurrentProcessId());
}

std::wstring MailslotPath(const wchar_t* what) {
  return L"\\\\.\\mailslot\\tavro_test\\" + std::wstring(what) + L"\\" +
         std::to_wstring(::GetCurrentProcessId());
}

std::wstring CurrentUserSidText() {
  std::vector<BYTE> buffer;
  const PSID sid = GetProcessUserSid(::GetCurrentProcess(), &buffer);
  wchar_t* text = nullptr;
  if (!sid || !::ConvertSidToStringSidW(sid, &text))
    return std::wstring();
  const base::win::ScopedLocalAlloc owned(text);
  return text;
}

// Attributes holding the security of |sddl|, valid while this lives.
class PlantedSecurity {
 public:
  explicit PlantedSecurity(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, &raw, nullptr))
        << sddl;
    descriptor_.Set(raw);
    attributes_ = {sizeof(attributes_), raw, FALSE};
  }
  SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  base::win::ScopedLocalAlloc descriptor_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// The owner and access list of |object| as SDDL text, e.g. "O:S-1-5-21-...D:P(A;;...;;;SY)".
std::wstring SecurityText(HANDLE object) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &raw) != ERROR_SUCCESS) {
    return L"unreadable";
  }
  const base::win::ScopedLocalAlloc descriptor(raw);
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          raw, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return L"unconvertible";
  }
  const base::win::ScopedLocalAlloc owned(text);
  return text;
}

TEST(SecureNamedObjectTest, ObjectsAreMadeForTheUserSystemAndAdministratorsOnly) {
  const std::wstring user = CurrentUserSidText();
  ASSERT_FALSE(user.empty());

  NamedObject event = CreateNamedEvent(UniqueName(L"event"), true, IfExists::kRefuse, false);
  NamedObject mutex = CreateNamedMutex(UniqueName(L"mutex"), IfExists::kRefuse, false, false);
  NamedObject mailslot = CreateNamedMailslot(MailslotPath(L"made"), 512, 0);
  for (NamedObject* object : {&event, &mutex, &mailslot}) {
    ASSERT_TRUE(object->handle.IsValid());
    EXPECT_FALSE(object->existed);
    EXPECT_FALSE(object->refused);
    // Owned by the user; full access (as the system writes it) for SYSTEM, Administrators
    // and the user, and nothing inherited.
    const std::wstring security = std::regex_replace(SecurityText(object->handle.Get()),
                                                     std::wregex(L"\\(A;;[^;]*;;;"), L"(A;;*;;;");
    EXPECT_EQ(L"O:" + user + L"D:P(A;;*;;;SY)(A;;*;;;BA)(A;;*;;;" + user + L")", security);
  }
  EXPECT_TRUE(IsTrustedNamedObject(event.handle.Get(), L"event", 0));

  // This installation's own objects, found again, are used as they are, state and all...
  ASSERT_TRUE(::SetEvent(event.handle.Get()));
  NamedObject found = CreateNamedEvent(UniqueName(L"event"), true, IfExists::kUseWhenTrusted,
                                       false);
  ASSERT_TRUE(found.handle.IsValid());
  EXPECT_TRUE(found.existed);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(found.handle.Get(), 0));
  NamedObject opened = OpenNamedEvent(UniqueName(L"event"), SYNCHRONIZE);
  EXPECT_TRUE(opened.handle.IsValid());
  NamedObject found_mutex =
      CreateNamedMutex(UniqueName(L"mutex"), IfExists::kUseWhenTrusted, false, true);
  EXPECT_TRUE(found_mutex.handle.IsValid());
  EXPECT_TRUE(found_mutex.existed);

  // ...but where only a fresh one will do (a grant), an existing one is refused, signalled
  // or not.
  base::test::ScopedLogCapture log;
  NamedObject grant = CreateNamedEvent(UniqueName(L"event"), false, IfExists::kRefuse, false);
  EXPECT_FALSE(grant.handle.IsValid());
  EXPECT_TRUE(grant.refused);
  EXPECT_EQ(1, log.CountLinesContaining(base::SystemWideToUtf8(UniqueName(L"event")) +
                                        " exists already"));

  // No event of the name: nothing, said by the last error alone.
  NamedObject missing = OpenNamedEvent(UniqueName(L"missing"), SYNCHRONIZE);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(missing.handle.IsValid());
  EXPECT_FALSE(missing.existed || missing.refused);
}

TEST(SecureNamedObjectTest, ObjectsMadeFirstByOthersAreRefusedByName) {
  const std::wstring user = CurrentUserSidText();
  ASSERT_FALSE(user.empty());
  const std::wstring ours = L"(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + user + L")";
  const std::wstring planted_security[] = {
      // Open to everyone.
      L"O:" + user + L"D:(A;;GA;;;WD)",
      // Users may signal it.
      L"O:" + user + L"D:P" + ours + L"(A;;0x100002;;;BU)",
      // No access list at all.
      L"O:" + user,
      // Owned by another user, who may rewrite the list whatever it says.
      L"O:S-1-5-21-1004336348-1177238915-682003330-1001D:P" + ours,
      // Owned by the Users group.
      L"O:BUD:P" + ours,
  };
  for (const std::wstring& sddl : planted_security) {
    SCOPED_TRACE(sddl);
    const std::wstring name = UniqueName(L"planted");
    PlantedSecurity security(sddl);
    const base::win::ScopedHandle planted(::CreateEventW(security.get(), TRUE, TRUE, name.c_str()));
    ASSERT_TRUE(planted.IsValid());

    base::test::ScopedLogCapture log;
    NamedObject made = CreateNamedEvent(name, true, IfExists::kUseWhenTrusted, false);
    EXPECT_FALSE(made.handle.IsValid());
    EXPECT_TRUE(made.existed && made.refused);
    NamedObject opened = OpenNamedEvent(name, SYNCHRONIZE);
    EXPECT_FALSE(opened.handle.IsValid());
    EXPECT_TRUE(opened.refused);
    EXPECT_EQ(2, log.CountLinesContaining(base::SystemWideToUtf8(name) +
                                          " was made by another user or may be changed by "
                                          "others: it is not used"));
  }

  // Anyone who may wait for a mutex may take it: waiting counts for a mutex, not an event.
  const std::wstring waitable = L"O:" + user + L"D:P" + ours + L"(A;;0x100000;;;WD)";
  PlantedSecurity mutex_security(waitable);
  const base::win::ScopedHandle planted_mutex(
      ::CreateMutexW(mutex_security.get(), FALSE, UniqueName(L"mutex").c_str()));
  ASSERT_TRUE(planted_mutex.IsValid());
  NamedObject mutex = CreateNamedMutex(UniqueName(L"mutex"), IfExists::kUseWhenTrusted, false,
                                       false);
  EXPECT_FALSE(mutex.handle.IsValid());
  EXPECT_TRUE(mutex.refused);
  PlantedSecurity event_security(waitable);
  const base::win::ScopedHandle planted_event(
      ::CreateEventW(event_security.get(), TRUE, FALSE, UniqueName(L"waitable").c_str()));
  ASSERT_TRUE(planted_event.IsValid());
  EXPECT_TRUE(OpenNamedEvent(UniqueName(L"waitable"), SYNCHRONIZE).handle.IsValid());

  // A mailslot has one reader: one that exists is someone else's.
  const base::win::ScopedHandle planted_mailslot(
      ::CreateMailslotW(MailslotPath(L"planted").c_str(), 512, 0, nullptr));
  ASSERT_TRUE(planted_mailslot.IsValid());
  base::test::ScopedLogCapture log;
  NamedObject mailslot = CreateNamedMailslot(MailslotPath(L"planted"), 512, 0);
  EXPECT_FALSE(mailslot.handle.IsValid());
  EXPECT_TRUE(mailslot.existed && mailslot.refused);
  EXPECT_EQ(1, log.CountLinesContaining(base::SystemWideToUtf8(MailslotPath(L"planted")) +
                                        " exists already"));
}

}  // namespace
}  // namespace installer
