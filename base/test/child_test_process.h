#ifndef BASE_TEST_CHILD_TEST_PROCESS_H_
#define BASE_TEST_CHILD_TEST_PROCESS_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/process/launch.h"

namespace base {
namespace test {

// Runs one test of this test program in a child process: the program again, with a filter
// that selects only |test_name| ("Suite.DISABLED_Name": child-side tests are disabled so
// that normal runs skip them) and the environment guard that IsChildTest checks.
struct ChildTestResult {
  bool started = false;
  DWORD exit_code = 0;
  std::string output;  // Standard output and standard error together.
};
ChildTestResult RunChildTest(const char* test_name, LaunchOptions options = LaunchOptions());

// Starts the same child without waiting for it (for a child that must run alongside the
// test); an invalid Process when it cannot be started.
Process StartChildTest(const char* test_name, LaunchOptions options = LaunchOptions());

// For tests that start the child their own way: the command line that runs |test_name| as
// a child, and the changes to the environment (name, value; an empty value removes the
// variable) that the child needs besides: the guard, and no share of a sharded run (the
// child runs its one test whatever shard its parent runs).
std::wstring GetChildTestCommandLine(const char* test_name);
std::vector<std::pair<std::wstring, std::wstring>> GetChildTestEnvironment(
    const char* test_name);

// Whether this process is the child that RunChildTest started for the running test.
// Child-side tests do nothing otherwise.
bool IsChildTest();

// Makes a crash of this child end it with the exception code as its exit code, without
// starting a debugger (which Wine does for unhandled exceptions).
void EndProcessOnCrash();

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_CHILD_TEST_PROCESS_H_
