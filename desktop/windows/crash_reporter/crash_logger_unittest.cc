#include "desktop/windows/crash_reporter/crash_logger.h"

#include <string>
#include <thread>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(CrashLoggerTest, CapturesItsThreadsLinesIntoTheCrashLog) {
  const logging::LogMessageHandlerFunction previous = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CrashLogger::CaptureLine);
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const base::FilePath log = temp_dir.GetPath().Append(L"crashlog.txt");
  ASSERT_EQ(5, base::WriteFileFromBuffer(log, "head\n", 5));

  CrashLogger logger;
  const int line = __LINE__ + 1;
  LOG(WARNING) << "first line";
  {
    CrashLogger inner;  // Takes the lines while it lives, then hands back.
    LOG(ERROR) << "inner line";
  }
  std::thread([] { LOG(INFO) << "another thread"; }).join();
  LOG(INFO) << "second line";
  logging::SetLogMessageHandler(previous);

  ASSERT_TRUE(logger.AppendTo(log));
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(log, &text));
  EXPECT_EQ("head\n\r\nCrash Logger:\r\ncrash_logger_unittest.cc:" + std::to_string(line) +
                ":first line\r\ncrash_logger_unittest.cc:" + std::to_string(line + 6) +
                ":second line\r\n",
            text);

  // What was appended is forgotten; appending nothing succeeds and changes nothing.
  ASSERT_TRUE(logger.AppendTo(log));
  std::string again;
  ASSERT_TRUE(base::ReadFileToString(log, &again));
  EXPECT_EQ(text, again);
}

}  // namespace
}  // namespace crash_reporter
