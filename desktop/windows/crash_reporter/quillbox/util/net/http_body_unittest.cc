#include "desktop/windows/crash_reporter/quillbox/util/net/http_body.h"

#include <memory>
#include <string>
#include <utility>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_body_gzip.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_multipart_builder.h"
#include "desktop/windows/crash_reporter/test/gunzip.h"
#include "gtest/gtest.h"

namespace quillbox {
namespace {

using crash_reporter::test::Gunzip;

// Reads |stream| to its end in pieces of |piece| bytes. False when it reports an error.
bool ReadAll(HttpBodyStream* stream, size_t piece, std::string* out) {
  out->clear();
  std::string buffer(piece, '\0');
  for (;;) {
    const int64_t read = stream->GetBytesBuffer(reinterpret_cast<uint8_t*>(&buffer[0]), piece);
    if (read < 0)
      return false;
    if (read == 0)
      return true;
    EXPECT_LE(read, static_cast<int64_t>(piece));
    out->append(buffer, 0, static_cast<size_t>(read));
  }
}

// Compressible but not trivially: text with a counter.
std::string MakeText(size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i)
    text += "frame " + std::to_string(i * 7919 % 100003) + " at 0x" + std::to_string(i) + "\n";
  text.resize(size);
  return text;
}

class HttpBodyTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  base::FilePath WriteFile(const wchar_t* name, const std::string& contents) {
    const base::FilePath path = temp_dir_.GetPath().Append(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
    return path;
  }

  base::ScopedTempDir temp_dir_;
};

TEST_F(HttpBodyTest, MultipartBodyHoldsFieldsThenFilesInNameOrderWithEncodedNames) {
  const std::string dump = MakeText(100 * 1024);
  const base::FilePath dump_path = WriteFile(L"crash.dmp", dump);
  const base::FilePath log_path = WriteFile(L"crash.log", "log\r\n");

  HttpMultipartBuilder builder;
  builder.SetFormData("ptime", "12");
  builder.SetFormData("a\"b%c\r\n", "value with \"quotes\"");
  builder.SetFileAttachment("upload_file_minidump", "crash.dmp", dump_path,
                            "application/octet-stream");
  builder.SetFileAttachment("log", "cr\"ash.log", log_path, "");
  // A name is one thing at a time: each setter takes the name from the other kind.
  builder.SetFormData("replaced", "form data");
  builder.SetFileAttachment("replaced", "x", log_path, "text/plain");
  builder.SetFileAttachment("dropped", "x", log_path, "text/plain");
  builder.SetFormData("dropped", "now form data");

  const std::string& boundary = builder.boundary();
  ASSERT_EQ(21u + 32u + 3u, boundary.size());
  EXPECT_EQ("---MultipartBoundary-", boundary.substr(0, 21));
  EXPECT_EQ("---", boundary.substr(53));
  EXPECT_EQ(std::string::npos,
            boundary.substr(21, 32).find_first_not_of(
                "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  HttpMultipartBuilder other;
  EXPECT_NE(boundary, other.boundary());

  HTTPHeaders headers;
  builder.PopulateContentHeaders(&headers);
  ASSERT_EQ(1u, headers.size());
  EXPECT_EQ("multipart/form-data; boundary=" + boundary, headers["Content-Type"]);

  const std::string part = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"";
  const std::string expected =
      part + "a%22b%25c%0d%0a\"\r\n\r\nvalue with \"quotes\"\r\n" +
      part + "dropped\"\r\n\r\nnow form data\r\n" +
      part + "ptime\"\r\n\r\n12\r\n" +
      part + "log\"; filename=\"cr%22ash.log\"\r\n"
             "Content-Type: application/octet-stream\r\n\r\nlog\r\n\r\n" +
      part + "replaced\"; filename=\"x\"\r\nContent-Type: text/plain\r\n\r\nlog\r\n\r\n" +
      part + "upload_file_minidump\"; filename=\"crash.dmp\"\r\n"
             "Content-Type: application/octet-stream\r\n\r\n" + dump + "\r\n"
      "--" + boundary + "--\r\n";

  // Pieces smaller than a part, larger than the file, and odd, so that every way across
  // the parts' ends is taken; each stream is read once, the builder makes several.
  for (const size_t piece : {size_t{7}, size_t{4096}, size_t{1000003}}) {
    std::unique_ptr<HttpBodyStream> stream = builder.GetBodyStream();
    std::string body;
    ASSERT_TRUE(ReadAll(stream.get(), piece, &body)) << piece;
    EXPECT_TRUE(body == expected) << "piece " << piece << ": " << body.size() << " bytes, "
                                  << expected.size() << " expected";
    uint8_t byte;
    EXPECT_EQ(0, stream->GetBytesBuffer(&byte, 1));
  }
}

TEST_F(HttpBodyTest, GzipBodyDecodesToTheWrappedBody) {
  // Larger than several 16 KiB input pieces, read out in pieces of every size.
  const std::string text = MakeText(200 * 1024 + 17);
  const base::FilePath path = WriteFile(L"big.log", text);
  for (const size_t piece : {size_t{1}, size_t{1000}, size_t{65536}}) {
    GzipHttpBodyStream gzip(std::make_unique<FileHttpBodyStream>(path));
    ASSERT_TRUE(gzip.Initialize());
    std::string compressed;
    ASSERT_TRUE(ReadAll(&gzip, piece, &compressed)) << piece;
    EXPECT_LT(compressed.size(), text.size() / 2);
    std::string decoded;
    ASSERT_TRUE(Gunzip(compressed, &decoded)) << piece;
    EXPECT_TRUE(decoded == text) << piece;
  }

  // An empty body still makes a whole gzip member.
  GzipHttpBodyStream empty(std::make_unique<StringHttpBodyStream>(std::string()));
  ASSERT_TRUE(empty.Initialize());
  std::string compressed;
  ASSERT_TRUE(ReadAll(&empty, 4096, &compressed));
  std::string decoded = "not empty";
  EXPECT_TRUE(Gunzip(compressed, &decoded));
  EXPECT_TRUE(decoded.empty());

  // A failing source fails the compressed stream, and it stays failed.
  GzipHttpBodyStream broken(
      std::make_unique<FileHttpBodyStream>(temp_dir_.GetPath().Append(L"gone.log")));
  ASSERT_TRUE(broken.Initialize());
  EXPECT_FALSE(ReadAll(&broken, 4096, &compressed));
  uint8_t byte;
  EXPECT_LT(broken.GetBytesBuffer(&byte, 1), 0);
}

}  // namespace
}  // namespace quillbox
