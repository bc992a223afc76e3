#include "desktop/windows/crash_reporter/win_inet_uploader.h"

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using installer::test::TestHttpServer;

// Every byte value, in an order that shows any shift; larger than any one read.
std::string MakeBinary(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 31 + i / 256) & 0xFF);
  return bytes;
}

class WinInetUploaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
  }

  std::wstring WriteFile(const wchar_t* name, const std::string& contents) {
    const base::FilePath path = temp_dir_.GetPath().Append(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
    return path.value();
  }

  // The boundary that the request announced in its Content-Type.
  static std::string AnnouncedBoundary(const TestHttpServer::Request& request) {
    const auto header = request.headers.find("content-type");
    if (header == request.headers.end())
      return std::string();
    const std::string prefix = "multipart/form-data; boundary=";
    if (header->second.compare(0, prefix.size(), prefix) != 0)
      return std::string();
    return header->second.substr(prefix.size());
  }

  TestHttpServer server_;
  base::ScopedTempDir temp_dir_;
};

TEST_F(WinInetUploaderTest, PostsParametersThenFilesInNameOrderAndReturnsTheResponse) {
  const std::string log = "crash log\r\nline two\n";
  const std::string dump = MakeBinary(300 * 1024);
  const std::wstring log_path = WriteFile(L"crash.log", log);
  const std::wstring dump_path = WriteFile(L"crash.dmp", dump);
  TestHttpServer::Response answer;
  answer.body = "Crash id: \xC3\xA9t\xC3\xA9-42";
  server_.SetResponse("/submit", answer);

  WinInetUploader::ParameterMap parameters = {
      {L"Version", L"1.2.3.4"}, {L"ProductName", L"Tavro"}, {L"email", L"\x00E9l\x00E8ve@x"}};
  WinInetUploader::FileMap files = {{L"minidump", dump_path}, {L"file", log_path}};
  std::wstring response;
  int status = -1;
  ASSERT_TRUE(WinInetUploader::Upload(L" (Edition next)", server_.GetUrl("/submit?id=7"),
                                      parameters, files, 10000, &response, &status));
  EXPECT_EQ(200, status);
  EXPECT_EQ(L"Crash id: \x00E9t\x00E9-42", response);

  const auto requests = server_.GetRequests();
  ASSERT_EQ(1u, requests.size());
  const TestHttpServer::Request& request = requests[0];
  EXPECT_EQ("POST", request.method);
  EXPECT_EQ("/submit?id=7", request.path);
  EXPECT_EQ("Hollet/1.0 (Windows) (Edition next)", request.headers.at("user-agent"));
  const std::string boundary = AnnouncedBoundary(request);
  ASSERT_EQ(27u + 16u, boundary.size());
  EXPECT_EQ(std::string(27, '-'), boundary.substr(0, 27));
  EXPECT_EQ(std::string::npos, boundary.find_first_not_of("-0123456789ABCDEF"));

  const std::string expected =
      "--" + boundary + "\r\n"
      "Content-Disposition: form-data; name=\"ProductName\"\r\n\r\nTavro\r\n"
      "--" + boundary + "\r\n"
      "Content-Disposition: form-data; name=\"Version\"\r\n\r\n1.2.3.4\r\n"
      "--" + boundary + "\r\n"
      "Content-Disposition: form-data; name=\"email\"\r\n\r\n\xC3\xA9l\xC3\xA8ve@x\r\n"
      "--" + boundary + "\r\n"
      "Content-Disposition: form-data; name=\"file\"; filename=\"" +
      base::Utf16ToUtf8(log_path) + "\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" + log + "\r\n"
      "--" + boundary + "\r\n"
      "Content-Disposition: form-data; name=\"minidump\"; filename=\"" +
      base::Utf16ToUtf8(dump_path) + "\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" + dump + "\r\n"
      "--" + boundary + "--\r\n";
  EXPECT_TRUE(request.body == expected) << "body of " << request.body.size() << " bytes, "
                                        << expected.size() << " expected";
}

TEST_F(WinInetUploaderTest, WithoutFilesTheClosingBoundaryFollowsTheParameters) {
  server_.SetResponse("/submit", TestHttpServer::Response());
  ASSERT_TRUE(WinInetUploader::Upload(L"", server_.GetUrl("/submit"), {{L"a", L"1"}}, {},
                                      std::nullopt, nullptr, nullptr));
  const auto requests = server_.GetRequests();
  ASSERT_EQ(1u, requests.size());
  const std::string boundary = AnnouncedBoundary(requests[0]);
  EXPECT_EQ("--" + boundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" +
                boundary + "--\r\n",
            requests[0].body);
}

TEST_F(WinInetUploaderTest, RefusesBadInputBeforeAnyRequest) {
  server_.SetResponse("/submit", TestHttpServer::Response());
  int status = -1;
  // A quotation mark would end the name in the part header.
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/submit"), {{L"a\"b", L"1"}}, {},
                                       std::nullopt, nullptr, &status));
  EXPECT_EQ(0, status);
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/submit"), {{L"", L"1"}}, {},
                                       std::nullopt, nullptr, nullptr));
  EXPECT_FALSE(WinInetUploader::Upload(L"", L"ftp://127.0.0.1/submit", {{L"a", L"1"}}, {},
                                       std::nullopt, nullptr, nullptr));
  // A file that is missing, or an entry without a path, sends nothing at all.
  EXPECT_FALSE(WinInetUploader::Upload(
      L"", server_.GetUrl("/submit"), {{L"a", L"1"}},
      {{L"file", temp_dir_.GetPath().Append(L"missing.log").value()}}, std::nullopt, nullptr,
      nullptr));
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/submit"), {}, {{L"file", L""}},
                                       std::nullopt, nullptr, nullptr));
  EXPECT_EQ(0u, server_.GetRequests().size());
}

TEST_F(WinInetUploaderTest, AStatusOtherThan200FailsAndIsReported) {
  TestHttpServer::Response answer;
  answer.status = 503;
  answer.body = "busy";
  server_.SetResponse("/submit", answer);
  std::wstring response = L"untouched";
  int status = 0;
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/submit"), {{L"a", L"1"}}, {},
                                       5000, &response, &status));
  EXPECT_EQ(503, status);
  EXPECT_EQ(L"untouched", response);
}

TEST_F(WinInetUploaderTest, ResponsesAreReadOnlyWhenWantedAndWithinABound) {
  // Nine terabytes announced, a few bytes sent: reserving the claim would end the process.
  TestHttpServer::Response hostile;
  hostile.body = "short";
  hostile.claimed_length = 9000000000000LL;
  server_.SetResponse("/hostile", hostile);
  std::wstring response;
  int status = 0;
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/hostile"), {{L"a", L"1"}}, {},
                                       5000, &response, &status));
  EXPECT_EQ(200, status);

  // Unless the caller wants the response, the upload is done once the status came.
  EXPECT_TRUE(WinInetUploader::Upload(L"", server_.GetUrl("/hostile"), {{L"a", L"1"}}, {}, 5000,
                                      nullptr, &status));

  // A response beyond the bound is not read to its end.
  TestHttpServer::Response huge;
  huge.body.assign(WinInetUploader::kMaxResponseSize + 1, 'x');
  server_.SetResponse("/huge", huge);
  response = L"untouched";
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/huge"), {{L"a", L"1"}}, {}, 5000,
                                       &response, &status));
  EXPECT_EQ(L"untouched", response);

  // A response shorter than its announced length fails even with status 200.
  TestHttpServer::Response cut;
  cut.body = "0123456789";
  cut.claimed_length = 20;
  server_.SetResponse("/cut", cut);
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/cut"), {{L"a", L"1"}}, {}, 5000,
                                       &response, &status));
  EXPECT_EQ(200, status);
}

TEST_F(WinInetUploaderTest, AServerThatNeverAnswersIsGivenUpOnAfterTheTimeout) {
  // The server's own delay is the test's deadline: an upload that waited it out would be
  // answered 200 and succeed.
  TestHttpServer::Response silent;
  silent.delay_ms = 30000;
  server_.SetResponse("/silent", silent);
  int status = -1;
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/silent"), {{L"a", L"1"}}, {}, 500,
                                       nullptr, &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ(1, server_.GetRequestCount("/silent"));

  // A request without a time-out of its own still waits only a bounded time.
  WinInetUploader::SetDefaultReceiveTimeoutForTesting(500);
  EXPECT_FALSE(WinInetUploader::Upload(L"", server_.GetUrl("/silent"), {{L"a", L"1"}}, {},
                                       std::nullopt, nullptr, &status));
  WinInetUploader::SetDefaultReceiveTimeoutForTesting(0);
  EXPECT_EQ(0, status);
  EXPECT_EQ(2, server_.GetRequestCount("/silent"));
}

}  // namespace
}  // namespace crash_reporter
