#include "desktop/windows/crash_reporter/quillbox/util/net/http_transport_win.h"

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_body_gzip.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_multipart_builder.h"
#include "desktop/windows/crash_reporter/test/gunzip.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "gtest/gtest.h"

namespace quillbox {
namespace {

using installer::test::TestHttpServer;

std::vector<std::string>& ErrorLines() {
  static std::vector<std::string> lines;
  return lines;
}

bool CaptureErrors(int severity, const char*, int, size_t start, const std::string& text) {
  if (severity >= logging::LOG_ERROR) {
    std::string line = text.substr(start);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    ErrorLines().push_back(line);
  }
  return false;
}

bool HasErrorLine(const std::string& text) {
  for (const std::string& line : ErrorLines()) {
    if (line.find(text) != std::string::npos)
      return true;
  }
  return false;
}

class HttpTransportWinTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ErrorLines().clear();
    logging::SetLogMessageHandler(&CaptureErrors);
  }
  void TearDown() override {
    logging::SetLogMessageHandler(nullptr);
    ErrorLines().clear();
  }

  std::string Url(const std::string& path) const {
    return base::Utf16ToUtf8(server_.GetUrl(path));
  }

  // A minidump upload as the crash reporter makes it: fields, the dump, optionally gzip.
  std::unique_ptr<HttpTransport> MakeUpload(const std::string& url,
                                            const base::FilePath& dump,
                                            bool gzip,
                                            std::string* boundary) {
    HttpMultipartBuilder builder;
    builder.SetFormData("ProductName", "TavroDesktop");
    builder.SetFormData("Version", "1.2.3.4");
    builder.SetFileAttachment("upload_file_minidump", "crash.dmp", dump,
                              "application/octet-stream");
    *boundary = builder.boundary();
    std::unique_ptr<HttpBodyStream> body = builder.GetBodyStream();
    std::unique_ptr<HttpTransport> transport = HttpTransport::Create();
    if (gzip) {
      auto compressed = std::make_unique<GzipHttpBodyStream>(std::move(body));
      EXPECT_TRUE(compressed->Initialize());
      body = std::move(compressed);
      transport->SetHeader("Content-Encoding", "gzip");
    }
    transport->SetMethod("POST");
    transport->SetBodyStream(std::move(body));
    transport->SetURL(url);
    HTTPHeaders content_headers;
    builder.PopulateContentHeaders(&content_headers);
    for (const auto& header : content_headers)
      transport->SetHeader(header.first, header.second);
    return transport;
  }

  base::FilePath WriteDump(size_t size) {
    std::string dump(size, '\0');
    for (size_t i = 0; i < size; ++i)
      dump[i] = static_cast<char>((i * 13 + i / 4093) & 0xFF);
    const base::FilePath path = temp_dir_.GetPath().Append(L"crash.dmp");
    EXPECT_EQ(static_cast<int>(size),
              base::WriteFileFromBuffer(path, dump.data(), static_cast<int>(size)));
    dump_ = dump;
    return path;
  }

  TestHttpServer server_;
  base::ScopedTempDir temp_dir_;
  std::string dump_;
};

TEST_F(HttpTransportWinTest, SendsTheStreamedBodyAndReturnsTheResponse) {
  const base::FilePath dump = WriteDump(150 * 1024 + 3);
  TestHttpServer::Response answer;
  answer.body = "CrashID=bp-\xC3\xA9";
  server_.SetResponse("/collector/submit", answer);

  for (const bool gzip : {false, true}) {
    std::string boundary;
    std::unique_ptr<HttpTransport> transport =
        MakeUpload(Url("/collector/submit?product=tavro"), dump, gzip, &boundary);
    std::string response = "stale";
    ASSERT_TRUE(transport->ExecuteSynchronously(&response)) << gzip;
    EXPECT_EQ(answer.body, response);

    const TestHttpServer::Request request = server_.GetRequests().back();
    EXPECT_EQ("POST", request.method);
    EXPECT_EQ("/collector/submit?product=tavro", request.path);
    EXPECT_EQ("Quillbox/0.8.0", request.headers.at("user-agent"));
    EXPECT_EQ("multipart/form-data; boundary=" + boundary, request.headers.at("content-type"));
    const std::string part = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"";
    const std::string expected =
        part + "ProductName\"\r\n\r\nTavroDesktop\r\n" + part + "Version\"\r\n\r\n1.2.3.4\r\n" +
        part + "upload_file_minidump\"; filename=\"crash.dmp\"\r\n"
               "Content-Type: application/octet-stream\r\n\r\n" + dump_ + "\r\n"
        "--" + boundary + "--\r\n";
    if (gzip) {
      EXPECT_EQ("gzip", request.headers.at("content-encoding"));
      std::string decoded;
      EXPECT_TRUE(crash_reporter::test::Gunzip(request.body, &decoded));
      EXPECT_TRUE(decoded == expected);
    } else {
      EXPECT_EQ(0u, request.headers.count("content-encoding"));
      EXPECT_TRUE(request.body == expected) << request.body.size() << " bytes";
    }
  }
  EXPECT_EQ(2, server_.GetRequestCount("/collector/submit"));
  EXPECT_TRUE(ErrorLines().empty());

  // Without a response wanted the answer is not read, and still a success.
  std::string boundary;
  EXPECT_TRUE(MakeUpload(Url("/collector/submit"), dump, false, &boundary)
                  ->ExecuteSynchronously(nullptr));

  // An answer beyond the bound is not read to its end.
  TestHttpServer::Response huge;
  huge.body.assign(HttpTransport::kMaxResponseBodySize + 1, 'x');
  server_.SetResponse("/huge", huge);
  std::string response;
  EXPECT_FALSE(MakeUpload(Url("/huge"), dump, false, &boundary)->ExecuteSynchronously(&response));
  EXPECT_LE(response.size(), HttpTransport::kMaxResponseBodySize);
}

TEST_F(HttpTransportWinTest, AStatusOtherThan200IsAFailureAndLogged) {
  TestHttpServer::Response answer;
  answer.status = 500;
  answer.body = "broken";
  server_.SetResponse("/collector/submit", answer);
  std::string boundary;
  std::string response;
  EXPECT_FALSE(MakeUpload(Url("/collector/submit"), WriteDump(10), true, &boundary)
                   ->ExecuteSynchronously(&response));
  EXPECT_TRUE(HasErrorLine("HTTP status 500"));
  EXPECT_TRUE(response.empty());
}

TEST_F(HttpTransportWinTest, ABodyThatCannotBeReadIsNeverSent) {
  server_.SetResponse("/collector/submit", TestHttpServer::Response());
  std::string boundary;
  std::unique_ptr<HttpTransport> transport = MakeUpload(
      Url("/collector/submit"), temp_dir_.GetPath().Append(L"gone.dmp"), true, &boundary);
  EXPECT_FALSE(transport->ExecuteSynchronously(nullptr));
  EXPECT_TRUE(HasErrorLine("CreateFile "));
  EXPECT_TRUE(HasErrorLine("GetBytesBuffer failed"));
  EXPECT_EQ(0, server_.GetRequestCount("/collector/submit"));
}

TEST_F(HttpTransportWinTest, AServerThatNeverAnswersIsGivenUpOnAfterTheTimeout) {
  // The server's delay is the test's deadline: a transport that waited it out would get
  // its 200 and succeed.
  TestHttpServer::Response silent;
  silent.delay_ms = 30000;
  server_.SetResponse("/collector/submit", silent);
  std::string boundary;
  std::unique_ptr<HttpTransport> transport =
      MakeUpload(Url("/collector/submit"), WriteDump(1000), false, &boundary);
  transport->SetTimeout(0.5);
  EXPECT_FALSE(transport->ExecuteSynchronously(nullptr));
  EXPECT_TRUE(HasErrorLine("WinHttpReceiveResponse: ")) << ErrorLines().size();
  EXPECT_EQ(1, server_.GetRequestCount("/collector/submit"));
}

TEST_F(HttpTransportWinTest, AFailedCallIsLoggedWithItsNameAndError) {
  std::unique_ptr<HttpTransport> transport = HttpTransport::Create();
  transport->SetURL("not a url");
  EXPECT_FALSE(transport->ExecuteSynchronously(nullptr));
  ASSERT_EQ(1u, ErrorLines().size());
  // The text itself may be missing (Wine's winhttp.dll has no message table); the call's
  // name and ERROR_WINHTTP_UNRECOGNIZED_SCHEME are always there.
  const std::string& line = ErrorLines()[0];
  EXPECT_EQ(0u, line.find("WinHttpCrackUrl: ")) << line;
  const std::string code = " (0x2EE6)";
  ASSERT_GE(line.size(), code.size());
  EXPECT_EQ(code, line.substr(line.size() - code.size())) << line;
}

}  // namespace
}  // namespace quillbox
