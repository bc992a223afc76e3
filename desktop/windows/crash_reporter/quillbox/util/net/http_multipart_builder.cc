#include "desktop/windows/crash_reporter/quillbox/util/net/http_multipart_builder.h"

#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"

namespace quillbox {

namespace {

constexpr char kCRLF[] = "\r\n";
constexpr char kBoundaryCRLF[] = "\r\n\r\n";
constexpr char kDefaultContentType[] = "application/octet-stream";

std::string GenerateBoundaryString() {
  static constexpr char kCharacters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string boundary = "---MultipartBoundary-";
  for (int i = 0; i < 32; ++i)
    boundary += kCharacters[base::RandInt(0, 61)];
  boundary += "---";
  return boundary;
}

// Percent-encodes the bytes that could end a quoted header value or a header line.
std::string EncodeMIMEField(const std::string& field) {
  std::string encoded;
  for (const char c : field) {
    if (c == '\n' || c == '\r' || c == '"' || c == '%')
      base::StringAppendF(&encoded, "%%%02x", static_cast<unsigned char>(c));
    else
      encoded += c;
  }
  return encoded;
}

std::string GetFormDataBoundary(const std::string& boundary, const std::string& name) {
  return base::StringPrintf("--%s%sContent-Disposition: form-data; name=\"%s\"",
                            boundary.c_str(), kCRLF, EncodeMIMEField(name).c_str());
}

bool IsValidContentType(const std::string& content_type) {
  for (const char c : content_type) {
    const bool valid = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' ||
                       c == '/' || c == '_';
    if (!valid)
      return false;
  }
  return true;
}

}  // namespace

HttpMultipartBuilder::HttpMultipartBuilder() : boundary_(GenerateBoundaryString()) {}

HttpMultipartBuilder::~HttpMultipartBuilder() = default;

void HttpMultipartBuilder::SetFormData(const std::string& key, const std::string& value) {
  EraseKey(key);
  form_data_[key] = value;
}

void HttpMultipartBuilder::SetFileAttachment(const std::string& key,
                                             const std::string& upload_file_name,
                                             const base::FilePath& path,
                                             const std::string& content_type) {
  EraseKey(key);
  FileAttachment attachment;
  attachment.filename = EncodeMIMEField(upload_file_name);
  attachment.path = path;
  DCHECK(IsValidContentType(content_type)) << content_type;
  attachment.content_type = content_type.empty() ? kDefaultContentType : content_type;
  file_attachments_[key] = std::move(attachment);
}

std::unique_ptr<HttpBodyStream> HttpMultipartBuilder::GetBodyStream() const {
  CompositeHttpBodyStream::PartsList parts;
  for (const auto& field : form_data_) {
    parts.push_back(std::make_unique<StringHttpBodyStream>(
        GetFormDataBoundary(boundary_, field.first) + kBoundaryCRLF + field.second + kCRLF));
  }
  for (const auto& file : file_attachments_) {
    const FileAttachment& attachment = file.second;
    std::string header = GetFormDataBoundary(boundary_, file.first);
    base::StringAppendF(&header, "; filename=\"%s\"%s", attachment.filename.c_str(), kCRLF);
    base::StringAppendF(&header, "Content-Type: %s%s", attachment.content_type.c_str(),
                        kBoundaryCRLF);
    parts.push_back(std::make_unique<StringHttpBodyStream>(std::move(header)));
    parts.push_back(std::make_unique<FileHttpBodyStream>(attachment.path));
    parts.push_back(std::make_unique<StringHttpBodyStream>(kCRLF));
  }
  parts.push_back(std::make_unique<StringHttpBodyStream>("--" + boundary_ + "--" + kCRLF));
  return std::make_unique<CompositeHttpBodyStream>(std::move(parts));
}

void HttpMultipartBuilder::PopulateContentHeaders(HTTPHeaders* http_headers) const {
  (*http_headers)["Content-Type"] =
      base::StringPrintf("multipart/form-data; boundary=%s", boundary_.c_str());
}

void HttpMultipartBuilder::EraseKey(const std::string& key) {
  form_data_.erase(key);
  file_attachments_.erase(key);
}

}  // namespace quillbox
