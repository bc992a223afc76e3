#include "desktop/windows/crash_reporter/quillbox/util/file/file_io_win.h"

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/win_inet_uploader.h"
#include "gtest/gtest.h"

namespace quillbox {
namespace {

TEST(FileIoWinTest, ADataEndBeforeTheCountAskedIsAShortReadNotASuccess) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const base::FilePath path = temp_dir.GetPath().Append(L"crash.log");
  std::string contents(10000, 'x');
  contents[9999] = 'y';
  ASSERT_EQ(10000, base::WriteFileFromBuffer(path, contents.data(), 10000));

  std::string whole;
  ASSERT_TRUE(crash_reporter::WinInetUploader::ReadWholeFile(path.value(), &whole));
  EXPECT_TRUE(whole == contents);

  // A file that is shorter than its length said when it was measured (cut meanwhile).
  base::win::ScopedHandle file = LoggingOpenFileForRead(path);
  ASSERT_TRUE(file.IsValid());
  std::string buffer(10001, '\0');
  EXPECT_FALSE(LoggingReadFileExactly(file.Get(), buffer.data(), buffer.size()));
  EXPECT_TRUE(LoggingCloseFile(&file));
  EXPECT_FALSE(file.IsValid());

  // A pipe whose writer went away early: the bytes that came count, the rest is missing.
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, nullptr, 0));
  base::win::ScopedHandle reader(read_end);
  base::win::ScopedHandle writer(write_end);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(writer.Get(), "0123456789", 10, &written, nullptr));
  writer.Close();
  char piece[20];
  EXPECT_EQ(10, ReadFileFully(reader.Get(), piece, sizeof(piece)));
  EXPECT_EQ("0123456789", std::string(piece, 10));

  EXPECT_FALSE(LoggingOpenFileForRead(temp_dir.GetPath().Append(L"missing")).IsValid());
}

}  // namespace
}  // namespace quillbox
