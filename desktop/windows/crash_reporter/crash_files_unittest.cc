// The files the crash reporter writes about a real crashed process: minidumps, the crash
// log that carries one, and the zipped text log.

#include <windows.h>
#include <dbghelp.h>
#include <string.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/executable_path.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/crash_log_with_minidump.h"
#include "desktop/windows/crash_reporter/crash_log_zip.h"
#include "desktop/windows/crash_reporter/minidump_file.h"
#include "desktop/windows/crash_reporter/test/crashed_child.h"
#include "desktop/windows/crash_reporter/test/minidump_reader.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/crash_reporter/test/zip_reader.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(CrashFilesChild, DISABLED_Crash) {
  if (base::test::IsChildTest())
    test::RunCrashingChild();
}

std::string ReadText(const base::FilePath& path) {
  std::string text;
  base::ReadFileToString(path, &text);
  return text;
}

// The data of user stream |type| of a minidump; empty when it has none.
std::string FindStream(const std::string& dump, ULONG32 type) {
  test::MinidumpReader reader;
  return reader.Parse(dump) ? reader.GetStream(type) : std::string();
}

class CrashFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ASSERT_TRUE(child_.Start("CrashFilesChild.DISABLED_Crash"));
  }

  base::FilePath File(const wchar_t* name) const { return temp_dir_.GetPath().Append(name); }

  base::ScopedTempDir temp_dir_;
  test::CrashedChild child_;
};

TEST_F(CrashFilesTest, MinidumpsHoldTheProductStreamWithinTheLimit) {
  const test::CrashedChildInfo& info = child_.info();
  const std::string version = installer::ProductInfo::GetVersion() + " " +
                              std::to_string(installer::ProductInfo::GetBuildNumber());

  const base::FilePath client_dump = File(L"client.dmp");
  ASSERT_TRUE(WriteClientMinidump(child_.pid(), info.thread_id_address,
                                  info.exception_pointers_address, 0, client_dump,
                                  kClientMinidumpSizeLimit));
  const std::string dump = ReadText(client_dump);
  EXPECT_EQ(0, dump.compare(0, 4, "MDMP"));
  EXPECT_LE(dump.size(), kClientMinidumpSizeLimit);
  EXPECT_EQ(version, FindStream(dump, 0x10000));
  EXPECT_EQ("", FindStream(dump, 0x10001)) << "no assertion for a plain exception";

  // Even a normal dump exceeds this: nothing is left behind.
  const base::FilePath too_small = File(L"small.dmp");
  EXPECT_FALSE(WriteMinidumpFromRecord(child_.pid(), info.record_address, too_small, 256));
  EXPECT_FALSE(base::PathExists(too_small));
}

// Under Wine even a normal dump of a test program exceeds the reporter's own limit of
// 512000 bytes (about 600 kB), so these tests pass the client limit.
TEST_F(CrashFilesTest, CrashLogCarriesHeaderEscapedMetadataAndDump) {
  CrashLogInfo log_info;
  log_info.product_suffix = "_test";
  log_info.version = "7.4.3105.12";
  log_info.build_number = "3105";
  log_info.metadata = {{"process_type", "crash_reporter"},
                       {"origin", "a\"b\\c\r\nforged=\"1\""}};
  const base::FilePath log = File(L"with_dump.txt");
  ASSERT_TRUE(WriteCrashLogWithMinidump(child_.pid(), child_.info().record_address, log,
                                        kClientMinidumpSizeLimit, log_info));
  const std::string text = ReadText(log);

  base::FilePath program;
  ASSERT_TRUE(base::win::GetExecutablePath(&program));
  const std::string header =
      "TAVRO-CRASHLOG V1 desktop_test 7.4.3105.12 3105 windows x64 release\r\n" +
      base::Utf16ToUtf8(program.BaseName().value()) + " caused exception C0000005 at address ";
  ASSERT_EQ(0, text.compare(0, header.size(), header)) << text.substr(0, 200);
  const size_t line_end = text.find("\r\n", header.size());
  ASSERT_NE(std::string::npos, line_end);
  EXPECT_EQ(12 + strlen(" (BASE: 00000000)"), line_end - header.size());
  EXPECT_EQ(" (BASE: 00000000)", text.substr(line_end - 17, 17));

  // A value cannot forge a line of its own.
  const std::string rest =
      "\r\nmetadata:\r\n"
      "process_type=\"crash_reporter\"\r\n"
      "origin=\"a\\\"b\\\\c\\r\\nforged=\\\"1\\\"\"\r\n"
      "\r\nminidump:\r\nMDMP";
  EXPECT_EQ(rest, text.substr(line_end + 2, rest.size()));

  // Without metadata the dump follows the header directly.
  log_info.metadata.clear();
  ASSERT_TRUE(WriteCrashLogWithMinidump(child_.pid(), child_.info().record_address, log,
                                        kClientMinidumpSizeLimit, log_info));
  const std::string plain = ReadText(log);
  EXPECT_EQ("\r\n\r\nminidump:\r\nMDMP", plain.substr(line_end, 19));
}

TEST(CrashLogZipTest, ZipsTheWholeLogAndLeavesNothingOnFailure) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  // Over two chunks of the zip buffer.
  std::string log_text;
  for (int i = 0; log_text.size() < 2500000; ++i)
    log_text += "line " + std::to_string(i) + " of a long crash log\r\n";
  const base::FilePath log = temp_dir.GetPath().Append(L"crashlog-1.txt");
  ASSERT_EQ(static_cast<int>(log_text.size()),
            base::WriteFileFromBuffer(log, log_text.data(), static_cast<int>(log_text.size())));
  const base::FilePath zip = temp_dir.GetPath().Append(L"crashlog-1.zip");
  ASSERT_TRUE(ZipCrashLog(log, zip));
  std::string name;
  EXPECT_TRUE(test::UnzipSingleEntry(zip, &name) == log_text);
  EXPECT_EQ("crashlog.txt", name);

  // An empty or missing log gives no zip at all, and no zip is left open.
  const base::FilePath empty = temp_dir.GetPath().Append(L"empty.txt");
  ASSERT_EQ(0, base::WriteFileFromBuffer(empty, "", 0));
  const base::FilePath failed_zip = temp_dir.GetPath().Append(L"failed.zip");
  EXPECT_FALSE(ZipCrashLog(empty, failed_zip));
  EXPECT_FALSE(base::PathExists(failed_zip));
  EXPECT_FALSE(ZipCrashLog(temp_dir.GetPath().Append(L"missing.txt"), failed_zip));
  EXPECT_FALSE(base::PathExists(failed_zip));
}

}  // namespace
}  // namespace crash_reporter
