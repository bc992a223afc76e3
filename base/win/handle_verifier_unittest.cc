#include "base/win/handle_verifier.h"

#include <windows.h>

#include "base/test/child_test_process.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

HANDLE CreateTestEvent() {
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// What handles add to the owner template: two invalid values, a kept last error, and a
// record of owners that forgets a handle given up.
TEST(ScopedHandleTest, KeepsLastErrorAndForgetsWhatItGivesUp) {
  HANDLE raw = CreateTestEvent();
  HANDLE second = CreateTestEvent();
  ASSERT_TRUE(raw && second);
  ScopedHandle handle;
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  handle.Set(raw);
  handle.Set(second);  // Closes |raw|.
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(raw, &flags));

  handle.Set(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(handle.IsValid());
  EXPECT_EQ(nullptr, handle.Get());

  // A handle given up may be owned again or closed by other code.
  HANDLE taken = ScopedHandle(CreateTestEvent()).Take();
  EXPECT_EQ(taken, ScopedHandle(taken).Take());
  EXPECT_TRUE(CloseTrackedHandle(taken));
}

TEST(HandleVerifierTest, ExportIsTheActiveVerifier) {
  HandleVerifier* verifier = GetActiveHandleVerifier();
  ASSERT_TRUE(verifier);
  EXPECT_EQ(static_cast<void*>(verifier), GetHandleVerifier());
  // This test program exports no verifier of its own, so the library's is used.
  HMODULE own_module = nullptr;
  ASSERT_TRUE(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<const wchar_t*>(&GetActiveHandleVerifier),
                                   &own_module));
  EXPECT_EQ(own_module, verifier->GetModule());
}

// Each child test breaks a rule once and must not survive it.

TEST(HandleVerifierChild, DISABLED_HandleClosedBehindOwner) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  ::CloseHandle(owner.Get());
  owner.Close();
  ADD_FAILURE() << "survived";
}

TEST(HandleVerifierChild, DISABLED_OwnedHandleClosedByOtherCode) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  CloseTrackedHandle(owner.Get());
  ADD_FAILURE() << "survived";
}

TEST(HandleVerifierChild, DISABLED_HandleTakenBySecondOwner) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  ScopedHandle second_owner;
  second_owner.Set(owner.Get());
  ADD_FAILURE() << "survived";
}

TEST(HandleVerifierChild, DISABLED_HandleReleasedByNonOwner) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  int other_owner = 0;
  GetActiveHandleVerifier()->StopTracking(owner.Get(), &other_owner, nullptr, nullptr);
  ADD_FAILURE() << "survived";
}

TEST(HandleVerifierChild, DISABLED_UntrackedHandleReleased) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  HANDLE taken = owner.Take();
  GetActiveHandleVerifier()->StopTracking(taken, &owner, nullptr, nullptr);
  ADD_FAILURE() << "survived";
}

TEST(HandleVerifierChild, DISABLED_DisabledVerifierIgnoresMisuse) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  test::EndProcessOnCrash();
  ScopedHandle owner(CreateTestEvent());
  GetActiveHandleVerifier()->Disable();
  ScopedHandle second_owner;
  second_owner.Set(owner.Get());
  HANDLE shared = second_owner.Take();
  EXPECT_EQ(owner.Get(), shared);
}

TEST(HandleVerifierTest, MisuseEndsTheProcess) {
  struct Case {
    const char* test_name;
    const char* expected_log;
    bool reports_owner;  // The record of where the handle was taken is logged.
  };
  const Case cases[] = {
      {"HandleVerifierChild.DISABLED_HandleClosedBehindOwner",
       "CloseHandle failed for owned handle", false},
      {"HandleVerifierChild.DISABLED_OwnedHandleClosedByOtherCode",
       "handle closed while an owner holds it", true},
      {"HandleVerifierChild.DISABLED_HandleTakenBySecondOwner",
       "handle taken while another owner holds it", true},
      {"HandleVerifierChild.DISABLED_HandleReleasedByNonOwner",
       "handle released by an owner that does not hold it", true},
      {"HandleVerifierChild.DISABLED_UntrackedHandleReleased", "untracked handle released",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.test_name);
    const test::ChildTestResult result = test::RunChildTest(c.test_name);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_BREAKPOINT), result.exit_code) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(c.expected_log)) << result.output;
    if (c.reports_owner) {
      EXPECT_NE(std::string::npos, result.output.find("the handle was taken by owner"));
    }
  }

  const test::ChildTestResult disabled =
      test::RunChildTest("HandleVerifierChild.DISABLED_DisabledVerifierIgnoresMisuse");
  ASSERT_TRUE(disabled.started);
  EXPECT_EQ(0u, disabled.exit_code) << disabled.output;
  EXPECT_NE(std::string::npos, disabled.output.find("[  PASSED  ] 1 test")) << disabled.output;
}

}  // namespace
}  // namespace win
}  // namespace base
