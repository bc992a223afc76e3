#include "desktop/windows/installer/test/test_deadline.h"

#include <windows.h>

#include <stdio.h>

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {
// The exit code of a program ended by its deadline.
constexpr UINT kDeadlineExitCode = 3;
}  // namespace

TestDeadline::TestDeadline(base::TimeDelta limit) : limit_(limit) {
  finished_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!finished_.IsValid()) {
    ADD_FAILURE() << "CreateEvent failed: " << ::GetLastError();
    return;
  }
  if (!base::OsThread::Create(0, this, &thread_))
    ADD_FAILURE() << "the deadline's thread did not start";
}

TestDeadline::~TestDeadline() {
  if (!thread_.IsValid())
    return;
  ::SetEvent(finished_.Get());
  base::OsThread::Join(&thread_);
}

void TestDeadline::ThreadMain() {
  if (::WaitForSingleObject(finished_.Get(), static_cast<DWORD>(limit_.InMilliseconds())) !=
      WAIT_TIMEOUT) {
    return;
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name =
      test ? std::string(test->test_suite_name()) + "." + test->name() : "a test";
  fprintf(stderr, "%s still ran after %d s: the test program ends here\n", name.c_str(),
          static_cast<int>(limit_.InSeconds()));
  fflush(stderr);
  fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), kDeadlineExitCode);
}

}  // namespace test
}  // namespace installer
