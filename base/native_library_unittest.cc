#include "base/native_library.h"

#include <windows.h>

#include <string>
#include <utility>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(NativeLibraryTest, LoadsLooksUpAndFrees) {
  NativeLibrary kernel32(FilePath(L"kernel32.dll"));
  ASSERT_TRUE(kernel32.IsLoaded());
  EXPECT_EQ(0u, kernel32.load_error());
  EXPECT_EQ(reinterpret_cast<void*>(
                ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount")),
            kernel32.GetFunctionPointer("GetTickCount"));
  EXPECT_EQ(nullptr, kernel32.GetFunctionPointer("TavroNoSuchFunction"));

  // A full path loads that file.
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  NativeLibrary by_path(FilePath(std::wstring(folder, length) + L"\\kernel32.dll"));
  EXPECT_EQ(kernel32.module(), by_path.module());

  // A library that nothing else holds is unloaded with its owner.
  {
    NativeLibrary dbghelp(FilePath(L"dbghelp.dll"));
    ASSERT_TRUE(dbghelp.IsLoaded());
    NativeLibrary moved(std::move(dbghelp));
    EXPECT_FALSE(dbghelp.IsLoaded());
    EXPECT_TRUE(moved.GetFunctionPointer("MiniDumpWriteDump"));
  }
  EXPECT_EQ(nullptr, ::GetModuleHandleW(L"dbghelp.dll"));

  NativeLibrary missing(FilePath(L"tavro_no_such_library.dll"));
  EXPECT_FALSE(missing.IsLoaded());
  EXPECT_NE(0u, missing.load_error());
  EXPECT_EQ(nullptr, missing.GetFunctionPointer("GetTickCount"));
}

}  // namespace
}  // namespace base
