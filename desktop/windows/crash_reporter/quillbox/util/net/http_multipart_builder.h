#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_MULTIPART_BUILDER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_MULTIPART_BUILDER_H_

#include <map>
#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_body.h"
#include "desktop/windows/crash_reporter/quillbox/util/net/http_headers.h"

namespace quillbox {

// Describes a multipart/form-data body: text fields and file attachments, each sent in
// name order. A name is either a field or an attachment; setting one replaces the other.
// Names and file names are sent with line breaks, quotation marks and percent signs
// percent-encoded, so no field can end its part header early. Files are read only when a
// body stream made by GetBodyStream is read.
class HttpMultipartBuilder {
 public:
  // Makes a fresh random boundary.
  HttpMultipartBuilder();
  HttpMultipartBuilder(const HttpMultipartBuilder&) = delete;
  HttpMultipartBuilder& operator=(const HttpMultipartBuilder&) = delete;
  ~HttpMultipartBuilder();

  void SetFormData(const std::string& key, const std::string& value);

  // An empty |content_type| means "application/octet-stream". A content type may hold only
  // ASCII letters, digits and "+-./_".
  void SetFileAttachment(const std::string& key,
                         const std::string& upload_file_name,
                         const base::FilePath& path,
                         const std::string& content_type);

  // A new stream over the whole body; the builder may make several.
  std::unique_ptr<HttpBodyStream> GetBodyStream() const;

  // Sets "Content-Type" to the multipart type with this builder's boundary.
  void PopulateContentHeaders(HTTPHeaders* http_headers) const;

  const std::string& boundary() const { return boundary_; }

 private:
  struct FileAttachment {
    std::string filename;
    std::string content_type;
    base::FilePath path;
  };

  // Drops |key| from both the fields and the attachments.
  void EraseKey(const std::string& key);

  std::string boundary_;
  std::map<std::string, std::string> form_data_;
  std::map<std::string, FileAttachment> file_attachments_;
};

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_MULTIPART_BUILDER_H_
