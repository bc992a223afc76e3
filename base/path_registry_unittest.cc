#include "base/path_registry.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_util.h"
#include "base/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace base {
namespace {

bool HasTrailingSeparator(const FilePath& path) {
  return !path.empty() && FilePath::IsSeparator(path.value().back());
}

TEST(PathRegistryTest, OverridesWinAndCanBeRemoved) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  FilePath system_temp;
  ASSERT_TRUE(PathRegistry::Get(DIR_TEMP, &system_temp));

  // Trailing separators are dropped from an override too.
  ASSERT_TRUE(PathRegistry::Override(DIR_TEMP, FilePath(temp.GetPath().value() + L"\\")));
  FilePath path;
  ASSERT_TRUE(PathRegistry::Get(DIR_TEMP, &path));
  EXPECT_EQ(temp.GetPath(), path);
  // A later override replaces the earlier one.
  const FilePath other = temp.GetPath().Append(L"other");
  ASSERT_TRUE(PathRegistry::Override(DIR_TEMP, other));
  ASSERT_TRUE(PathRegistry::Get(DIR_TEMP, &path));
  EXPECT_EQ(other, path);
  EXPECT_FALSE(PathExists(other)) << "Override creates nothing";

  EXPECT_TRUE(PathRegistry::RemoveOverride(DIR_TEMP));
  EXPECT_FALSE(PathRegistry::RemoveOverride(DIR_TEMP));
  ASSERT_TRUE(PathRegistry::Get(DIR_TEMP, &path));
  EXPECT_EQ(system_temp, path);

  // An empty path is refused and changes nothing.
  EXPECT_FALSE(PathRegistry::Override(DIR_TEMP, FilePath()));
  EXPECT_FALSE(PathRegistry::GetOverride(DIR_TEMP, &path));
}

TEST(PathRegistryTest, RelativeOverridesAreMadeAbsolute) {
  wchar_t current[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const FilePath expected = FilePath(current).Append(L"tavro_relative\\file.txt");

  ScopedPathOverride override(FILE_PREFERENCES, FilePath(L"tavro_relative\\.\\file.txt"));
  ASSERT_TRUE(override.IsValid());
  FilePath path;
  ASSERT_TRUE(PathRegistry::Get(FILE_PREFERENCES, &path));
  EXPECT_EQ(expected, path);
  EXPECT_FALSE(PathExists(expected.DirName()));
}

TEST(PathRegistryTest, OverrideAndCreateIfNeededCreatesTheFolder) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const FilePath nested = temp.GetPath().Append(L"a\\b");

  {
    ScopedPathOverride override(DIR_USER_DESKTOP, nested, true, false);
    ASSERT_TRUE(override.IsValid());
    EXPECT_FALSE(PathExists(nested));
  }
  {
    ScopedPathOverride override(DIR_USER_DESKTOP, nested, true, true);
    ASSERT_TRUE(override.IsValid());
    EXPECT_TRUE(DirectoryExists(nested));
    FilePath path;
    ASSERT_TRUE(PathRegistry::Get(DIR_USER_DESKTOP, &path));
    EXPECT_EQ(nested, path);

    // A file in the way: the folder cannot be made, and the override in force stays.
    const FilePath file = temp.GetPath().Append(L"file");
    ASSERT_EQ(1, WriteFileFromBuffer(file, "x", 1));
    EXPECT_FALSE(
        PathRegistry::OverrideAndCreateIfNeeded(DIR_USER_DESKTOP, file.Append(L"c"), true, true));
    ASSERT_TRUE(PathRegistry::Get(DIR_USER_DESKTOP, &path));
    EXPECT_EQ(nested, path);
  }
  FilePath path;
  EXPECT_FALSE(PathRegistry::GetOverride(DIR_USER_DESKTOP, &path));
}

TEST(PathRegistryTest, ScopedOverridesNestAndRestore) {
  FilePath path;
  EXPECT_FALSE(PathRegistry::Get(FILE_CRASH_COUNTS, &path)) << "only overrides answer";
  EXPECT_FALSE(PathRegistry::Get(FILE_CRASH_ID_RECORD, &path));
  EXPECT_FALSE(PathRegistry::Get(12345, &path));

  {
    ScopedPathOverride outer(FILE_CRASH_COUNTS);
    ASSERT_TRUE(outer.IsValid());
    FilePath outer_path;
    ASSERT_TRUE(PathRegistry::Get(FILE_CRASH_COUNTS, &outer_path));
    EXPECT_TRUE(DirectoryExists(outer_path));
    {
      ScopedPathOverride inner(FILE_CRASH_COUNTS, outer_path.Append(L"Crash Counts"));
      ASSERT_TRUE(PathRegistry::Get(FILE_CRASH_COUNTS, &path));
      EXPECT_EQ(outer_path.Append(L"Crash Counts"), path);
    }
    ASSERT_TRUE(PathRegistry::Get(FILE_CRASH_COUNTS, &path));
    EXPECT_EQ(outer_path, path);
    path = outer_path;
  }
  EXPECT_FALSE(DirectoryExists(path)) << "the temporary folder goes with the override";
  EXPECT_FALSE(PathRegistry::Get(FILE_CRASH_COUNTS, &path));
}

TEST(PathRegistryTest, ThreadsOverrideAndReadConcurrently) {
  // Keys nothing else uses, one per thread; all threads share the one table.
  constexpr int kFirstKey = 9000;
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([i, &mismatches] {
      const FilePath mine(L"C:\\tavro_thread_" + std::to_wstring(i));
      for (int round = 0; round < 300; ++round) {
        FilePath path;
        if (!PathRegistry::OverrideAndCreateIfNeeded(kFirstKey + i, mine, true, false) ||
            !PathRegistry::Get(kFirstKey + i, &path) || path != mine ||
            !PathRegistry::RemoveOverride(kFirstKey + i)) {
          ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, mismatches.load());
}

TEST(PathRegistryTest, ProvidedPathsAreSensible) {
  FilePath exe;
  ASSERT_TRUE(PathRegistry::Get(FILE_EXE, &exe));
  EXPECT_TRUE(EqualsCaseInsensitiveAscii(exe.BaseName().value(), L"base_unittests.exe"))
      << exe;
  EXPECT_TRUE(PathExists(exe)) << exe;
  FilePath exe_dir;
  ASSERT_TRUE(PathRegistry::Get(DIR_EXE, &exe_dir));
  EXPECT_EQ(exe.DirName(), exe_dir);

  FilePath temp;
  ASSERT_TRUE(PathRegistry::Get(DIR_TEMP, &temp));
  EXPECT_TRUE(DirectoryExists(temp)) << temp;
  FilePath home;
  ASSERT_TRUE(PathRegistry::Get(DIR_HOME, &home));
  EXPECT_TRUE(DirectoryExists(home)) << home;

  // Only read: tests never write to these folders.
  const int kKeys[] = {DIR_EXE,          DIR_TEMP,           DIR_HOME,
                       FILE_EXE,         DIR_USER_DESKTOP,   DIR_PROGRAM_FILESX86,
                       DIR_COMMON_START_MENU, DIR_START_MENU, DIR_COMMON_DESKTOP,
                       DIR_USER_QUICK_LAUNCH, DIR_PROGRAM_FILES_X64};
  for (const int key : kKeys) {
    FilePath path;
    ASSERT_TRUE(PathRegistry::Get(key, &path)) << key;
    EXPECT_TRUE(path.IsAbsolute()) << key << ": " << path;
    EXPECT_FALSE(HasTrailingSeparator(path)) << key << ": " << path;
  }

  FilePath start_menu;
  FilePath common_start_menu;
  ASSERT_TRUE(PathRegistry::Get(DIR_START_MENU, &start_menu));
  ASSERT_TRUE(PathRegistry::Get(DIR_COMMON_START_MENU, &common_start_menu));
  EXPECT_NE(start_menu, common_start_menu);
  EXPECT_TRUE(home.IsParent(start_menu)) << start_menu;
  FilePath quick_launch;
  ASSERT_TRUE(PathRegistry::Get(DIR_USER_QUICK_LAUNCH, &quick_launch));
  EXPECT_TRUE(home.IsParent(quick_launch)) << quick_launch;
  EXPECT_EQ(L"Quick Launch", quick_launch.BaseName().value());

  // A 64-bit installation and a 32-bit one go to different program-files folders.
  FilePath program_files_x86;
  FilePath program_files_x64;
  ASSERT_TRUE(PathRegistry::Get(DIR_PROGRAM_FILESX86, &program_files_x86));
  ASSERT_TRUE(PathRegistry::Get(DIR_PROGRAM_FILES_X64, &program_files_x64));
  EXPECT_NE(program_files_x86, program_files_x64);
}

}  // namespace
}  // namespace base
