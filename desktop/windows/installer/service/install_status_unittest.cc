#include "desktop/windows/installer/service/install_status.h"

#include <windows.h>

#include <objbase.h>
#include <psapi.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "base/win/scoped_com_initializer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class InstallStatusTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(kInstallStatusFileName);
  }

  void WriteFile(const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path_, contents.data(), static_cast<int>(contents.size())));
  }
  std::string ReadFile() {
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(path_, &contents));
    return contents;
  }
  bool Loads(const std::string& contents) {
    WriteFile(contents);
    InstallStatus status;
    return LoadInstallStatus(path_, &status);
  }
  int CountFiles() {
    int count = 0;
    base::FileEnumerator files(temp_dir_.GetPath(), false, base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
      ++count;
    return count;
  }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_dir_;
  base::FilePath path_;
};

// A record with every field set, and texts that XML must escape or keep exactly.
InstallStatus MakeFullStatus() {
  InstallStatus status;
  status.copy_only = true;
  status.all_users = true;
  status.pinned = true;
  status.app_id = "1700000000";
  status.install_folder = base::FilePath(L"C:\\Program Files\\Tavro & Co <test>");
  status.subfolder = base::FilePath(L"1.2.3.4_0");
  status.version = "1.2.3.4";
  status.desktop_shortcut = base::FilePath(L"C:\\Users\\Public\\Desktop\\Tavro \u00e9t\u00e9.lnk");
  status.start_menu_shortcut = base::FilePath(L"C:\\Start Menu\\\u4e2d\u6587 \U0001F600.lnk");
  status.quick_launch_shortcut = base::FilePath(L"C:\\Quick Launch\\Tavro's \"x\".lnk");
  status.files = {"tavro.exe", "resources\\a b.pak", "locales\\caf\xc3\xa9.pak"};
  status.root_files = {"launcher.exe", "installer_prefs.json"};
  status.components = {{"suite", base::FilePath(L"C:\\Tavro\\suite")},
                       {"assistant", base::FilePath(L"C:\\Tavro\\assistant")}};
  status.hklm_keys = {
      {1,
       L"Software\\Classes\\TavroStable",
       {{L"FriendlyTypeName", L"REG_SZ", L"Tavro Web Document"},
        {L"URL Protocol", L"REG_SZ", L""}}},
      {2,
       L"Software\\Classes\\TavroStable\\shell\\open\\command",
       {{L"", L"REG_SZ", L"\"C:\\Tavro\\Launcher.exe\" -noautoupdate -- \"%1\""}}},
      {0, L"Software\\Classes\\.htm\\OpenWithProgIDs", {{L"TavroStable", L"REG_NONE", L""}}},
      {4, L"Software\\Classes\\Applications\\tavro.exe\\shell\\open\\command", {}},
  };
  status.hkcu_keys = {
      {0,
       L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags",
       {{L"C:\\Tavro\\Launcher.exe", L"REG_DWORD", L"32"},
        {L"  spaced name  ", L"REG_SZ", L"\ttab\nline\r\nCR\r & <b> ]]> \u00e9 \U0001F600 "}}},
  };
  return status;
}

TEST_F(InstallStatusTest, RoundTrip) {
  const InstallStatus saved = MakeFullStatus();
  ASSERT_TRUE(SaveInstallStatus(path_, saved));
  EXPECT_EQ(0, ReadFile().find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));

  // Loading replaces what the record held before.
  InstallStatus loaded;
  loaded.files = {"stale"};
  loaded.hkcu_keys.resize(3);
  ASSERT_TRUE(LoadInstallStatus(path_, &loaded));
  EXPECT_EQ(saved, loaded);
  // Exact comparison of the paths too (FilePath equality ignores the drive letter's case).
  EXPECT_EQ(saved.start_menu_shortcut.value(), loaded.start_menu_shortcut.value());

  // Saving again over an existing file replaces it.
  InstallStatus empty;
  ASSERT_TRUE(SaveInstallStatus(path_, empty));
  ASSERT_TRUE(LoadInstallStatus(path_, &loaded));
  EXPECT_EQ(empty, loaded);
  EXPECT_EQ(1, CountFiles());
}

TEST_F(InstallStatusTest, RoundTripOfManyEntries) {
  InstallStatus saved = MakeFullStatus();
  for (int i = 0; i < 3000; ++i) {
    saved.files.push_back("folder\\" + std::string(i % 97, 'x') + std::to_string(i) + ".dll");
    RegistryKeyRecord key{static_cast<unsigned>(i % 5), L"Software\\Key" + std::to_wstring(i)};
    key.values.push_back({L"v" + std::to_wstring(i), L"REG_SZ", std::wstring(i % 61, L'd')});
    saved.hklm_keys.push_back(key);
  }
  ASSERT_TRUE(SaveInstallStatus(path_, saved));
  InstallStatus loaded;
  ASSERT_TRUE(LoadInstallStatus(path_, &loaded));
  EXPECT_EQ(saved, loaded);
}

// Registry value types are attribute values. A tab, a line break, '"', '&' or '<' there
// would not read back the same from every writer: such a type is refused when saving, and a
// file that holds one is refused when loading, so that what loads can always be saved.
TEST_F(InstallStatusTest, AttributeValuesThatWouldNotReadBackAreRefusedBothWays) {
  ASSERT_TRUE(SaveInstallStatus(path_, MakeFullStatus()));
  const std::string valid = ReadFile();
  for (const wchar_t* type : {L"a\tb", L"a\nb", L"a\rb", L"a\"b", L"a&b", L"a<b"}) {
    InstallStatus status = MakeFullStatus();
    status.hklm_keys[0].values[0].type_name = type;
    EXPECT_FALSE(SaveInstallStatus(path_, status)) << type;
    EXPECT_EQ(valid, ReadFile());
  }

  const std::string original = "type=\"REG_SZ\"";
  const size_t at = valid.find(original);
  ASSERT_NE(std::string::npos, at);
  auto with_type = [&](const std::string& type) {
    std::string text = valid;
    return text.replace(at, original.size(), "type=\"" + type + "\"");
  };
  for (const char* type : {"a&#9;b", "a&#xA;b", "a&#13;b", "a&quot;b", "a&amp;b", "a&lt;b"})
    EXPECT_FALSE(Loads(with_type(type))) << type;

  // Characters that every writer gets right load and save again.
  ASSERT_TRUE(Loads(with_type("a&gt;b 'c' \xC3\xA9")));
  InstallStatus loaded;
  ASSERT_TRUE(LoadInstallStatus(path_, &loaded));
  EXPECT_EQ(L"a>b 'c' \u00e9", loaded.hklm_keys[0].values[0].type_name);
  ASSERT_TRUE(SaveInstallStatus(path_, loaded));
  InstallStatus reloaded;
  ASSERT_TRUE(LoadInstallStatus(path_, &reloaded));
  EXPECT_EQ(loaded, reloaded);
}

// The counter of the memory that only this process uses: PrivateUsage reads 0 under Wine,
// PagefileUsage (the private commit on Windows, the anonymous resident memory under Wine)
// grows with a leak on both.
size_t GetPrivateMemory() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  EXPECT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)));
  return counters.PagefileUsage;
}

TEST_F(InstallStatusTest, LoadingAndSavingLeaveNothingBehind) {
  InstallStatus status = MakeFullStatus();
  for (int i = 0; i < 100; ++i)
    status.files.push_back("resources\\folder " + std::to_string(i) + "\\file.pak");
  ASSERT_TRUE(SaveInstallStatus(path_, status));
  const std::string contents = ReadFile();

  // A save waits for the disk; the cycles go on several threads, each with a file of its
  // own, so that those waits overlap. Every thread settles its caches and heaps first and
  // then waits until the memory is counted.
  constexpr int kThreads = 4;
  constexpr int kCycles = 2000;
  constexpr base::TimeDelta kDeadline = base::TimeDelta::FromSeconds(120);
  using base::WaitEvent;
  WaitEvent go(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  WaitEvent finish(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  struct Worker {
    std::unique_ptr<base::Thread> thread;
    base::FilePath path;
    std::unique_ptr<WaitEvent> settled;
    std::unique_ptr<WaitEvent> done;
    // The first cycle that failed, or -1.
    int failed_cycle = -1;
  };
  Worker workers[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    Worker* worker = &workers[t];
    worker->thread = std::make_unique<base::Thread>("StatusFileCycles");
    ASSERT_TRUE(worker->thread->Start());
    worker->path = temp_dir_.GetPath().Append(L"status " + std::to_wstring(t) + L".xml");
    worker->settled = std::make_unique<WaitEvent>(WaitEvent::ResetPolicy::MANUAL,
                                                  WaitEvent::InitialState::NOT_SIGNALED);
    worker->done = std::make_unique<WaitEvent>(WaitEvent::ResetPolicy::MANUAL,
                                               WaitEvent::InitialState::NOT_SIGNALED);
    worker->thread->GetTaskRunner()->PostTask(
        FROM_HERE, base::BindLambda([worker, &status, &go, &finish, kDeadline] {
          base::win::ScopedComInitializer com;
          auto cycle = [worker, &status, &com]() {
            InstallStatus loaded;
            return com.Succeeded() && SaveInstallStatus(worker->path, status) &&
                   LoadInstallStatus(worker->path, &loaded);
          };
          for (int i = 0; i < 50 && worker->failed_cycle < 0; ++i) {
            if (!cycle())
              worker->failed_cycle = i;
          }
          worker->settled->Signal();
          if (go.TimedWait(kDeadline)) {
            for (int i = 0; i < kCycles / kThreads && worker->failed_cycle < 0; ++i) {
              if (!cycle())
                worker->failed_cycle = i;
            }
          }
          worker->done->Signal();
          // Stays in its apartment until the memory is counted again.
          finish.TimedWait(kDeadline);
        }));
  }
  bool settled = true;
  for (Worker& worker : workers)
    settled = settled && worker.settled->TimedWait(kDeadline);
  const size_t before = GetPrivateMemory();
  go.Signal();
  bool done = settled;
  for (Worker& worker : workers)
    done = done && worker.done->TimedWait(kDeadline);
  const size_t after = GetPrivateMemory();
  finish.Signal();
  for (Worker& worker : workers)
    worker.thread->Stop();

  ASSERT_TRUE(done);
  for (const Worker& worker : workers)
    ASSERT_EQ(-1, worker.failed_cycle) << worker.path;
  ASSERT_NE(0u, before);
  // A stream kept by each load and each save would hold twice the file per cycle.
  const size_t leak_per_cycle = 2 * contents.size();
  EXPECT_LT(after, before + kCycles * leak_per_cycle / 4)
      << "before " << before << ", after " << after << ", file " << contents.size();
}

TEST_F(InstallStatusTest, ReadsHandWrittenFile) {
  // Element order is free, unknown elements and comments are skipped.
  ASSERT_TRUE(
      Loads("<?xml version=\"1.0\"?>\n"
            "<install_log version=\"1\"><!-- comment -->\n"
            "<hkcu_keys><key clean=\"3\"><future/><path>K</path>"
            "<value type=\"REG_SZ\"><data>D</data><name>N</name></value></key></hkcu_keys>\n"
            "<hklm_keys/>\n"
            "<pinned>1</pinned><all_users>0</all_users><copy_only>1</copy_only>"
            "<app_id>42</app_id><install_folder>C:\\T</install_folder><subfolder/>"
            "<version>1.0</version><desktop_shortcut/><start_menu_shortcut/>"
            "<quick_launch_shortcut/><files><file>a</file><other/><file><![CDATA[b<c]]></file>"
            "</files><root_files/><components><component><path>C:\\T\\s</path><name>s</name>"
            "</component></components><added_later>x</added_later></install_log>"));
  InstallStatus status;
  ASSERT_TRUE(LoadInstallStatus(path_, &status));
  EXPECT_TRUE(status.copy_only);
  EXPECT_FALSE(status.all_users);
  EXPECT_TRUE(status.pinned);
  EXPECT_EQ("42", status.app_id);
  EXPECT_EQ((std::vector<std::string>{"a", "b<c"}), status.files);
  ASSERT_EQ(1u, status.components.size());
  EXPECT_EQ("s", status.components[0].name);
  EXPECT_TRUE(status.hklm_keys.empty());
  ASSERT_EQ(1u, status.hkcu_keys.size());
  EXPECT_EQ(3u, status.hkcu_keys[0].clean_depth);
  EXPECT_EQ(L"K", status.hkcu_keys[0].key_path);
  EXPECT_EQ((RegistryValueRecord{L"N", L"REG_SZ", L"D"}), status.hkcu_keys[0].values[0]);
}

TEST_F(InstallStatusTest, RejectsMalformedFiles) {
  InstallStatus status = MakeFullStatus();
  InstallStatus untouched = status;
  EXPECT_FALSE(LoadInstallStatus(path_, &status));  // No file.
  EXPECT_EQ(untouched, status);

  ASSERT_TRUE(SaveInstallStatus(path_, MakeFullStatus()));
  const std::string valid = ReadFile();
  ASSERT_TRUE(Loads(valid));

  EXPECT_FALSE(Loads(""));
  EXPECT_FALSE(Loads("not xml at all"));
  EXPECT_FALSE(Loads("\xff\xfe\x00"));
  EXPECT_FALSE(Loads("<other version=\"1\"/>"));

  auto replaced = [&valid](const std::string& from, const std::string& to) {
    std::string text = valid;
    const size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    return text.replace(at, from.size(), to);
  };
  EXPECT_FALSE(Loads(replaced("version=\"1\"", "version=\"2\"")));
  EXPECT_FALSE(Loads(replaced("<pinned>1</pinned>", "")));
  EXPECT_FALSE(Loads(replaced("<pinned>1</pinned>", "<pinned>yes</pinned>")));
  EXPECT_FALSE(Loads(replaced("<pinned>1</pinned>", "<pinned>1</pinned><pinned>1</pinned>")));
  EXPECT_FALSE(Loads(replaced("<app_id>", "<app_id><b/>")));
  EXPECT_FALSE(Loads(replaced("clean=\"2\"", "clean=\"two\"")));
  EXPECT_FALSE(Loads(replaced("clean=\"2\"", "")));
  EXPECT_FALSE(Loads(replaced("<hkcu_keys>", "<hklm_keys>")));
  EXPECT_FALSE(Loads(replaced("<value type=\"REG_SZ\">", "<value>")));
  EXPECT_FALSE(Loads(replaced("<components>", "<components>stray text")));
  EXPECT_FALSE(Loads(replaced("<name>suite</name>", "")));

  // Truncations of a valid file.
  const size_t end = valid.find("</install_log>");
  ASSERT_NE(std::string::npos, end);
  for (size_t size = 0; size <= end; size += 50)
    EXPECT_FALSE(Loads(valid.substr(0, size))) << size;
}

TEST_F(InstallStatusTest, RejectsHostileFiles) {
  ASSERT_TRUE(SaveInstallStatus(path_, InstallStatus()));
  std::string valid = ReadFile();
  const size_t body = valid.find("<install_log");
  ASSERT_NE(std::string::npos, body);

  // An external entity naming a file that exists: never read, the file is refused.
  const base::FilePath secret = temp_dir_.GetPath().Append(L"secret.txt");
  ASSERT_EQ(6, base::WriteFileFromBuffer(secret, "secret", 6));
  std::string external = valid;
  external.insert(body,
                  "<!DOCTYPE install_log [<!ENTITY x SYSTEM \"" + secret.ToUtf8() + "\">]>\n");
  external.replace(external.find("<app_id"), 0, "<app_id>&x;</app_id>");
  external.erase(external.find("<app_id/>"), 9);
  EXPECT_FALSE(Loads(external));

  // Entity expansion through an internal subset.
  std::string laughs = valid;
  laughs.insert(body,
                "<!DOCTYPE install_log [<!ENTITY a \"aaaaaaaaaa\">"
                "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n");
  EXPECT_FALSE(Loads(laughs));

  // Ten megabytes of well-formed nesting.
  const int depth = 5 * 1024 * 1024 / 3;
  std::string nested = "<install_log version=\"1\">";
  nested.reserve(11 * 1024 * 1024);
  for (int i = 0; i < depth; ++i)
    nested += "<a>";
  for (int i = 0; i < depth; ++i)
    nested += "</a>";
  nested += "</install_log>";
  EXPECT_FALSE(Loads(nested));
}

TEST_F(InstallStatusTest, FailedSaveKeepsPreviousFile) {
  ASSERT_TRUE(SaveInstallStatus(path_, MakeFullStatus()));
  const std::string previous = ReadFile();

  // A text that XML cannot hold fails before anything is written.
  InstallStatus control = MakeFullStatus();
  control.hkcu_keys[0].values[0].data = L"a\x01z";
  EXPECT_FALSE(SaveInstallStatus(path_, control));
  EXPECT_EQ(previous, ReadFile());

  // A read-only status file is not replaced, and no temporary file stays behind.
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(SaveInstallStatus(path_, InstallStatus()));
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(previous, ReadFile());
  EXPECT_EQ(1, CountFiles());

  // A missing folder.
  const base::FilePath missing =
      temp_dir_.GetPath().Append(L"missing").Append(kInstallStatusFileName);
  EXPECT_FALSE(SaveInstallStatus(missing, InstallStatus()));
  EXPECT_FALSE(base::PathExists(missing));
}

}  // namespace
}  // namespace installer
